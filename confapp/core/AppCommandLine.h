#pragma once

#include <string>
#include <vector>

/// The words Vantrel was started with. Words may carry a leading "-" or "/".
struct AppCommandLine {
    /// "test": the keeper page shows its test-mode field.
    bool test = false;
    /// A word starting with "u": the rest is the base address of the update files.
    std::string updateBase;
    /// "desk": per-user browser settings, and the proxy is always restarted in the tray.
    bool desk = false;
    /// Update requests carry the no-cache header lines; "proxy" turns this off.
    bool noCache = true;
    /// "noicon": the proxy is restarted with "-tray -noicon".
    bool noicon = false;
    /// Words this parser does not know, for the toolkit's own handling.
    std::vector<std::string> rest;

    /// Parses the words after the program name.
    static AppCommandLine Parse(const std::vector<std::string>& words);
};
