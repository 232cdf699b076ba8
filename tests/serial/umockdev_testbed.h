#pragma once

#include <gtest/gtest.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace zorvan::test {

// Runs the program again with umockdev's preload library when it is not
// loaded yet, so that libudev, /sys and /dev are the testbed's. Call first
// in main().
inline void reexecUnderUmockdev(char** argv) {
    if (std::getenv("ZORVAN_UMOCKDEV_WRAPPED") != nullptr) {
        return;
    }
    const char* preload = std::getenv("LD_PRELOAD");
    std::string libraries = "libumockdev-preload.so.0";
    if (preload != nullptr && *preload != '\0') {
        libraries += std::string(":") + preload;
    }
    ::setenv("LD_PRELOAD", libraries.c_str(), 1);
    ::setenv("ZORVAN_UMOCKDEV_WRAPPED", "1", 1);
    // The sanitizer runtime then no longer comes first; it works all the same.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS",
             (std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::abort();
}

// A umockdev testbed for the test's life: made, it is what the process sees.
class Testbed {
  public:
    Testbed() : bed_(umockdev_testbed_new()) {}
    ~Testbed() { g_object_unref(bed_); }
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Adds the devices of a description (P:, N:, E:, A: lines; devices apart
    // by a blank line, each before its parent as umockdev-record writes them);
    // every udev monitor hears "add". Parents come first, as from the kernel:
    // a monitor that hears a child before its parent exists sees no parent.
    //
    // Debian 12's umockdev (0.17) has two traps for tty nodes, which this
    // helper keeps tests out of: a node whose device has an "A: dev=" line
    // gets emulated ioctls, so isatty() is false on it (refused here); and
    // its realpath() crashes on a pty-backed node, so code under test
    // resolves paths with lstat() and readlink() instead.
    bool add(const std::string& description) {
        if (description.find("A: dev=") != std::string::npos) {
            ADD_FAILURE() << "a testbed tty with \"A: dev=\" is no terminal to its reader";
            return false;
        }
        std::vector<std::string> devices;
        for (std::size_t start = 0; start < description.size();) {
            const std::size_t end = description.find("\n\n", start);
            devices.push_back(description.substr(
                start, end == std::string::npos ? std::string::npos : end + 1 - start));
            start = end == std::string::npos ? description.size() : end + 2;
        }
        for (auto device = devices.rbegin(); device != devices.rend(); ++device) {
            GError* error = nullptr;
            const bool added = umockdev_testbed_add_from_string(bed_, device->c_str(), &error);
            if (error != nullptr) {
                g_error_free(error);
            }
            if (!added) {
                return false;
            }
        }
        return true;
    }
    // Announces the device's removal to every udev monitor and takes it
    // away, with its device node ("/dev/ttyUSB0") when it has one, so that it
    // can be plugged in again.
    void remove(const std::string& syspath, const std::string& node = {}) {
        umockdev_testbed_uevent(bed_, syspath.c_str(), "remove");
        umockdev_testbed_remove_device(bed_, syspath.c_str());
        if (!node.empty()) {
            ::unlink((root() + node).c_str());
        }
    }
    // Makes /dev/<name> lead where the node does, as udev's rules would.
    bool link(const std::string& node, const std::string& name) {
        char target[4096];
        const ssize_t length = ::readlink((root() + node).c_str(), target, sizeof target - 1);
        if (length <= 0) {
            return false;
        }
        target[length] = '\0';
        const std::string path = root() + "/dev/" + name;
        ::unlink(path.c_str());
        return ::symlink(target, path.c_str()) == 0;
    }
    // The master end of the pty behind a tty device node ("/dev/ttyUSB0").
    int masterOf(const std::string& node) {
        return umockdev_testbed_get_dev_fd(bed_, node.c_str());
    }

  private:
    std::string root() {
        gchar* dir = umockdev_testbed_get_root_dir(bed_);
        std::string path = dir;
        g_free(dir);
        return path;
    }

    UMockdevTestbed* bed_;
};

// The USB interface a CP2102 bridge numbered like kernelName sits on.
inline std::string bridgeInterface(const std::string& kernelName) {
    const std::string port = std::to_string(kernelName.back() - '0' + 1);
    return "/devices/pci0000:00/0000:00:14.0/usb1/1-" + port + "/1-" + port + ":1.0";
}

inline std::string boardSyspath(const std::string& kernelName = "ttyUSB0") {
    return "/sys" + bridgeInterface(kernelName) + "/" + kernelName + "/tty/" + kernelName;
}

// A CP2102 bridge on USB with the board's udev rule applied.
inline std::string boardDescription(const std::string& kernelName = "ttyUSB0") {
    return "P: " + boardSyspath(kernelName).substr(4) + "\nN: " + kernelName +
           "\nE: DEVNAME=/dev/" + kernelName +
           "\nE: SUBSYSTEM=tty\nE: DEVLINKS=/dev/cu.SLAB_USBtoUART /dev/tty.SLAB_USBtoUART "
           "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00\nE: ID_VENDOR_ID=10c4\nE: "
           "ID_MODEL_ID=ea60\nE: ID_SERIAL=Silicon_Labs_CP2102_0001\n\n"
           "P: " +
           bridgeInterface(kernelName) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
}

}  // namespace zorvan::test
