#pragma once

#include "engine/DaemonParams.h"

/// Start-up error messages, indexed by DaemonControl::errorCode.
extern const char* const StartErrorText[7];

/// Start and stop of filtering. One per process; its operations run on the main
/// (or service) thread only.
class DaemonControl {
public:
    static DaemonControl& getInstance();

    /// Configuration, log writer and filter database. True when ready; on false
    /// errorCode holds the reason.
    bool InitializeFiltering();
    /// Network library and listener thread. True once the listener is bound; on false
    /// errorCode holds the reason.
    bool StartDaemon();
    /// Stops the listener and returns after it has ended; harmless when it never ran.
    void StopDaemon();
    /// Tells the keeper that the proxy stops, and releases the network library.
    void ReleaseDaemon();

    /// The message for errorCode.
    const char* ErrorText() const;

    StartError errorCode = StartError::Filtering;
    DaemonParams params;

private:
    DaemonControl() = default;
};
