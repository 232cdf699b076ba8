#include "tools/serial/port_summary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "tools/serial/json_text.h"

namespace zorvan::serial_tool {
namespace {

// The first of keys that the device has, not empty.
std::string first(const serial::PortProperties& properties,
                  std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto found = properties.find(key);
        if (found != properties.end() && !found->second.empty()) {
            return found->second;
        }
    }
    return {};
}

// udev's _ENC values carry unsafe characters (spaces among them) as \xNN.
std::string decodeEscapes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string usbId(const PortSummary& port) {
    return port.vid.empty() || port.pid.empty() ? std::string() : port.vid + ":" + port.pid;
}

bool isVidPid(const std::string& text) {
    return text.size() == 9 && text[4] == ':' &&
           std::all_of(text.begin(), text.end(), [i = 0](char c) mutable {
               return i++ == 4 || std::isxdigit(static_cast<unsigned char>(c));
           });
}

std::string jsonOrNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}

}  // namespace

PortSummary summarize(const serial::VXSerialPort& port) {
    PortSummary s;
    s.name = port.name();
    s.path = port.bsdPath();
    s.type = port.type();
    const auto properties = port.properties();
    if (!properties) {
        return s;
    }
    const serial::PortProperties& p = *properties;
    s.properties = p;
    s.node = first(p, {"DEVNAME"});
    s.kernel = baseName(first(p, {"DEVPATH", "DEVNAME"}));
    std::istringstream links(first(p, {"DEVLINKS"}));
    for (std::string link; links >> link;) {
        s.links.push_back(link);
        if (s.byId.empty() && link.starts_with("/dev/serial/by-id/")) {
            s.byId = link;
        }
    }
    s.vid = lower(first(p, {"ID_VENDOR_ID", "ID_USB_VENDOR_ID"}));
    s.pid = lower(first(p, {"ID_MODEL_ID", "ID_USB_MODEL_ID"}));
    // The hardware database's names read best; the bridge's own USB strings
    // (which udev stores with \x20 for spaces) come next.
    s.vendor = first(p, {"ID_VENDOR_FROM_DATABASE"});
    if (s.vendor.empty()) {
        s.vendor = decodeEscapes(
            first(p, {"ID_VENDOR_ENC", "ID_USB_VENDOR_ENC", "ID_VENDOR", "ID_USB_VENDOR"}));
    }
    s.product = first(p, {"ID_MODEL_FROM_DATABASE"});
    if (s.product.empty()) {
        s.product = decodeEscapes(
            first(p, {"ID_MODEL_ENC", "ID_USB_MODEL_ENC", "ID_MODEL", "ID_USB_MODEL"}));
    }
    s.serialNumber = first(p, {"ID_SERIAL_SHORT", "ID_USB_SERIAL_SHORT", "ID_SERIAL"});
    return s;
}

bool matches(const PortSummary& port, const std::string& filter) {
    if (filter.empty()) {
        return true;
    }
    if (isVidPid(filter)) {
        return lower(filter) == usbId(port);
    }
    const std::string wanted = lower(filter);
    std::vector<std::string> fields = {port.name,   port.path,    port.kernel, port.node,
                                       port.vendor, port.product, usbId(port), port.serialNumber};
    fields.insert(fields.end(), port.links.begin(), port.links.end());
    return std::any_of(fields.begin(), fields.end(), [&](const std::string& field) {
        return lower(field).find(wanted) != std::string::npos;
    });
}

std::string summaryHeader() {
    return "NAME\tPATH\tKERNEL\tNODE\tVID:PID\tVENDOR\tPRODUCT\tSERIAL\tBY-ID";
}

std::string summaryLine(const PortSummary& port) {
    std::string line;
    for (const std::string& field : {port.name, port.path, port.kernel, port.node, usbId(port),
                                     port.vendor, port.product, port.serialNumber, port.byId}) {
        line += (line.empty() ? "" : "\t") + orDash(field);
    }
    return line;
}

std::string summaryDetails(const PortSummary& port) {
    std::string text = port.name + "\n";
    const auto field = [&text](const char* label, const std::string& value) {
        char padded[16];
        std::snprintf(padded, sizeof padded, "  %-10s", label);
        text += padded + orDash(value) + "\n";
    };
    const auto list = [&text, &field](const char* label, const std::vector<std::string>& values) {
        if (values.empty()) {
            field(label, "");
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            field(i == 0 ? label : "", values[i]);
        }
    };
    field("path", port.path);
    field("type", port.type);
    field("kernel", port.kernel);
    field("node", port.node);
    list("links", port.links);
    field("vid:pid", usbId(port));
    field("vendor", port.vendor);
    field("product", port.product);
    field("serial", port.serialNumber);
    std::vector<std::string> properties;
    for (const auto& [key, value] : port.properties) {
        properties.push_back(key + "=" + value);
    }
    list("udev", properties);
    return text;
}

std::string summaryJson(const PortSummary& port, const std::string& event) {
    std::string json = "{";
    if (!event.empty()) {
        json += "\"event\": " + jsonString(event) + ", ";
    }
    json += "\"name\": " + jsonString(port.name) + ", \"path\": " + jsonString(port.path) +
            ", \"type\": " + jsonString(port.type) + ", \"kernel\": " + jsonOrNull(port.kernel) +
            ", \"node\": " + jsonOrNull(port.node) + ", \"links\": [";
    for (std::size_t i = 0; i < port.links.size(); ++i) {
        json += (i == 0 ? "" : ", ") + jsonString(port.links[i]);
    }
    json += "], \"byId\": " + jsonOrNull(port.byId) + ", \"vid\": " + jsonOrNull(port.vid) +
            ", \"pid\": " + jsonOrNull(port.pid) + ", \"vendor\": " + jsonOrNull(port.vendor) +
            ", \"product\": " + jsonOrNull(port.product) +
            ", \"serial\": " + jsonOrNull(port.serialNumber) + ", \"properties\": {";
    bool firstProperty = true;
    for (const auto& [key, value] : port.properties) {
        json += (firstProperty ? "" : ", ") + jsonString(key) + ": " + jsonString(value);
        firstProperty = false;
    }
    return json + "}}";
}

}  // namespace zorvan::serial_tool
