#include "platform/pointer_backend.h"

#include <system_error>

#include "platform/uinput_sink.h"
#include "platform/xtest_sink.h"
#include "pointer/log_sink.h"

namespace zorvan {

namespace {

// "uinput: cannot open ..." said after "--pointer uinput cannot be used: ".
std::string withoutBackendName(const std::string& failure) {
    const auto colon = failure.find(": ");
    return colon == std::string::npos ? failure : failure.substr(colon + 2);
}

std::unique_ptr<MouseEventSink> makeLog(const std::string& logPath, std::string& description) {
    if (logPath.empty()) {
        description = "pointer events: log to stdout";
        return std::make_unique<LogSink>();
    }
    try {
        auto sink = std::make_unique<LogSink>(logPath);
        description = "pointer events: log to " + logPath;
        return sink;
    } catch (const std::system_error& e) {
        description = std::string("pointer events: log to stdout (") + e.what() + ")";
        return std::make_unique<LogSink>();
    }
}

std::string uinputText(const ScreenPlacement& placement) {
    const DesktopRect& d = placement.desktop;
    return "pointer events: uinput virtual pointer over " + std::to_string(d.width) + "x" +
           std::to_string(d.height);
}

}  // namespace

std::optional<PointerBackend> parsePointerBackend(std::string_view text) {
    for (PointerBackend b : {PointerBackend::Auto, PointerBackend::Uinput, PointerBackend::Xtest,
                             PointerBackend::Log}) {
        if (text == pointerBackendName(b)) {
            return b;
        }
    }
    return std::nullopt;
}

std::string_view pointerBackendName(PointerBackend backend) {
    switch (backend) {
        case PointerBackend::Auto:
            return "auto";
        case PointerBackend::Uinput:
            return "uinput";
        case PointerBackend::Xtest:
            return "xtest";
        case PointerBackend::Log:
            return "log";
    }
    return "auto";
}

std::unique_ptr<MouseEventSink> makePointerSink(PointerBackend backend, DisplaySize size,
                                                const std::string& logPath,
                                                std::string& description) {
    return makePointerSink(backend, ScreenPlacement::alone(size), logPath, description);
}

std::unique_ptr<MouseEventSink> makePointerSink(PointerBackend backend,
                                                const ScreenPlacement& placement,
                                                const std::string& logPath,
                                                std::string& description) {
    switch (backend) {
        case PointerBackend::Log:
            return makeLog(logPath, description);
        case PointerBackend::Uinput: {
            auto sink = std::make_unique<UinputSink>(placement);
            description =
                sink->ready() ? uinputText(placement) : "pointer events: none, " + sink->failure();
            return sink;
        }
        case PointerBackend::Xtest: {
            auto sink = std::make_unique<XtestSink>(std::string(), placement);
            description = sink->connected() ? "pointer events: xtest on " + sink->displayName()
                                            : "pointer events: none, " + sink->failure();
            return sink;
        }
        case PointerBackend::Auto:
            break;
    }
    auto uinput = std::make_unique<UinputSink>(placement);
    if (uinput->ready()) {
        description = uinputText(placement);
        return uinput;
    }
    auto xtest = std::make_unique<XtestSink>(std::string(), placement);
    if (xtest->connected()) {
        description =
            "pointer events: xtest on " + xtest->displayName() + " (" + uinput->failure() + ")";
        return xtest;
    }
    std::string logDescription;
    auto log = makeLog(logPath, logDescription);
    description = logDescription + " (" + uinput->failure() + "; " + xtest->failure() + ")";
    return log;
}

PointerSinkChoice choosePointerSink(PointerBackend backend, const ScreenPlacement& placement,
                                    const std::string& logPath) {
    PointerSinkChoice choice;
    choice.sink = makePointerSink(backend, placement, logPath, choice.description);
    if (const auto* uinput = dynamic_cast<const UinputSink*>(choice.sink.get());
        backend == PointerBackend::Uinput && uinput != nullptr && !uinput->ready()) {
        choice.refusal =
            "--pointer uinput cannot be used: " + withoutBackendName(uinput->failure()) +
            ". Load the kernel module (sudo modprobe uinput; at every boot: echo "
            "uinput | sudo tee /etc/modules-load.d/zorvan.conf) and install the udev "
            "rule 60-zorvan.rules, which lets the user at the seat open /dev/uinput; "
            "or start zorvan with --pointer auto";
    }
    if (const auto* xtest = dynamic_cast<const XtestSink*>(choice.sink.get());
        backend == PointerBackend::Xtest && xtest != nullptr && !xtest->connected()) {
        choice.refusal = "--pointer xtest cannot be used: " + withoutBackendName(xtest->failure()) +
                         ". Start zorvan inside the X session, or set DISPLAY to a running X "
                         "server (for example DISPLAY=:0); on Wayland use --pointer uinput";
    }
    return choice;
}

}  // namespace zorvan
