#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "ravlin_export.h"

/// The proxy as the user's desktop sees it: the desktop's proxy settings
/// (org.gnome.system.proxy, through gsettings when it is installed), which browsers that
/// follow the system settings use, and a shell file setting http_proxy, https_proxy and
/// no_proxy for command-line programs. Functions return 0 on success and 1 on failure.

/// What the desktop held. gsettings: each managed key ("schema key") with its value as
/// gsettings prints it, absent when the key was not set (at its default); gsettingsKnown
/// is false when gsettings could not be read. shellFile: the file's bytes, absent when
/// there was no file.
struct DesktopProxySnapshot {
    bool gsettingsKnown = false;
    std::map<std::string, std::string> gsettings;
    std::optional<std::string> shellFile;
};

/// <configuration directory>/zpf/proxy.sh; empty when no home directory is known.
RAVLIN_EXPORT std::string DesktopProxyShellFile();

/// Points the desktop at host:port (enable) or turns its proxy off, writing only what
/// differs. bypass is the bypass list as the settings keep it (entries separated by ";",
/// "<local>" for the local addresses); entries that are not plain host patterns are left
/// out. gsettings is skipped when it is not installed.
RAVLIN_EXPORT int ApplyDesktopProxy(bool enable, std::string_view host, int port, std::string_view bypass);

/// The managed gsettings keys ("schema key") with their values now; 1 when gsettings
/// or the desktop's proxy schema is missing.
RAVLIN_EXPORT int ReadDesktopProxy(std::map<std::string, std::string>* values);

RAVLIN_EXPORT int CaptureDesktopProxy(DesktopProxySnapshot* snapshot);

/// Puts back what the snapshot holds; keys and the file that were not set are reset
/// and removed.
RAVLIN_EXPORT int RestoreDesktopProxy(const DesktopProxySnapshot& snapshot);
