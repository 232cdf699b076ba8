#include "app/window_system.h"

#include <QDir>
#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/display_probe.h"

namespace zorvan::app {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

WindowSystemChoice chooseWindowSystem(const WindowSystemEnvironment& environment,
                                      const WindowSystemProbes& probes) {
    if (!environment.qpaPlatform.empty()) {
        return {};
    }
    std::string xWhy;
    const bool hasX = !environment.display.empty();
    const auto xAnswers = [&] { return hasX && probes.xReachable(environment.display, xWhy); };

    if (!environment.waylandDisplay.empty()) {
        std::string waylandWhy;
        const bool plugin = probes.waylandPluginInstalled();
        if (plugin && probes.waylandReachable(environment.waylandDisplay, waylandWhy)) {
            return {"wayland", ""};
        }
        if (xAnswers()) {
            return {"xcb", ""};
        }
        std::string line = "cannot open a window on the Wayland display " +
                           quoted(environment.waylandDisplay) + " named by WAYLAND_DISPLAY: ";
        line += plugin ? waylandWhy
                       : "Qt's Wayland platform plugin is not installed (Debian: sudo apt-get "
                         "install qt6-wayland)";
        line +=
            hasX ? "; nor on the X display " + quoted(environment.display) + " of DISPLAY: " + xWhy
                 : "; DISPLAY is not set either";
        line +=
            ". Start zorvan inside the graphical session once it is ready, or unset "
            "WAYLAND_DISPLAY and DISPLAY to run without a window";
        return {"", line};
    }
    if (hasX) {
        if (xAnswers()) {
            return {"xcb", ""};
        }
        return {"", "cannot open a window on the X display " + quoted(environment.display) +
                        " named by DISPLAY: " + xWhy +
                        ". Start zorvan inside the graphical session once it is ready, or unset "
                        "DISPLAY to run without a window"};
    }
    return {"offscreen", ""};
}

WindowSystemEnvironment currentWindowSystemEnvironment() {
    return {environmentValue("QT_QPA_PLATFORM"), environmentValue("DISPLAY"),
            environmentValue("WAYLAND_DISPLAY")};
}

WindowSystemProbes realWindowSystemProbes() {
    WindowSystemProbes probes;
    probes.xReachable = xServerReachable;
    probes.waylandReachable = waylandReachable;
    probes.waylandPluginInstalled = [] {
        QStringList folders =
            QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH")).split(':', Qt::SkipEmptyParts);
        folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
        for (const QString& folder : folders) {
            if (!QDir(folder + "/platforms")
                     .entryList({"libqwayland*.so"}, QDir::Files)
                     .isEmpty()) {
                return true;
            }
        }
        return false;
    };
    return probes;
}

namespace {

QtMessageHandler gQtHandler = nullptr;
bool gVerbose = false;
std::mutex gMutex;
QString gPlatformWarning;  // the first thing the platform plugin said: the cause

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        QString reason;
        {
            std::lock_guard lock(gMutex);
            reason = gPlatformWarning;
        }
        if (reason.isEmpty()) {
            reason = message.section('\n', 0, 0);
        }
        const std::string platform = environmentValue("QT_QPA_PLATFORM");
        std::fprintf(stderr, "zorvan: cannot start the window (Qt platform %s): %s\n",
                     platform.empty() ? "default" : platform.c_str(),
                     reason.toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (gVerbose) {
        if (gQtHandler != nullptr) {
            gQtHandler(type, context, message);
        } else {
            std::fprintf(stderr, "%s\n",
                         qFormatLogMessage(type, context, message).toLocal8Bit().constData());
        }
        return;
    }
    if (type == QtCriticalMsg) {
        std::fprintf(stderr, "zorvan: Qt: %s\n", message.toLocal8Bit().constData());
        return;
    }
    if (context.category != nullptr && QByteArray(context.category).startsWith("qt.qpa")) {
        std::lock_guard lock(gMutex);
        if (gPlatformWarning.isEmpty()) {
            gPlatformWarning = message;
        }
    }
}

}  // namespace

void installQuietQtMessages() {
    gVerbose = !qEnvironmentVariableIsEmpty("QT_LOGGING_RULES") ||
               !qEnvironmentVariableIsEmpty("QT_DEBUG_PLUGINS");
    gQtHandler = qInstallMessageHandler(quietHandler);
}

}  // namespace zorvan::app
