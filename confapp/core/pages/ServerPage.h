#pragma once

#include <functional>

#include "core/pages/BoundPage.h"

/// Whether the proxy runs now, as the page reports it.
struct ProxyRunState {
    bool running = false;
    /// Running as the service rather than as a tray process.
    bool service = false;
};

/// "Ｐｒｏｘｙ情報": the listening port, the upstream proxy, the log files and the browser
/// settings, and whether the proxy runs now.
class ServerPage final : public BoundPage {
public:
    using RunStateSource = std::function<ProxyRunState()>;

    /// runState is asked each time the view refreshes; it may be empty (nothing shown).
    ServerPage(SettingsDocument& document, RunStateSource runState);
    void Load() override;
    bool enabled(const PageRow& row) const override;
    std::vector<std::string> infoLines() const override;

protected:
    std::string shownText(const char* key, const std::string& stored) const override;

private:
    RunStateSource m_runState;
    /// The port the running proxy read at its start: the saved one.
    unsigned m_savedPort = 0;
    bool m_savedPortKnown = false;
};
