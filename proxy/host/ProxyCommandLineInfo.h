#pragma once

/// The proxy's command-line words. Each argument is compared, without regard to case
/// and without one leading "-" or "/", with "tray", "install", "remove", "debug",
/// "keep", "noicon" and "phrase"; a match sets its flag, anything else is ignored.
class ProxyCommandLineInfo {
public:
    void ParseParam(const char* argument);
    /// Parses argv[1] .. argv[argc - 1].
    void Parse(int argc, const char* const* argv);

    int install = 0;
    int remove = 0;
    int debug = 0;
    int tray = 0;
    int phrase = 0;
    int keep = 0;
    int noicon = 0;
};

/// The service arguments: every argument after the first that begins with "-" or
/// "/" followed by "debug" or "keeper" (any case) sets the debug or the keep flag.
void ScanServiceArguments(int argc, const char* const* argv, ProxyCommandLineInfo& info);
