// The tray window's logic: close roads, password check, version text, status lines.
#include "host/tray/TrayModel.h"

#include <charconv>

namespace tray {

const char* TrayIconTip(TrayIconRole role)
{
    switch (role) {
    case TrayIconRole::Created:
        return "FilteringSoftware";
    case TrayIconRole::Starting:
        return "FilteringSoftware (starting)";
    case TrayIconRole::Listening:
        return "FilteringSoftware";
    }
    return "";
}

std::string StatusLineText(std::string_view text)
{
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (text.size() > kMaxStatusLineBytes) {
        size_t cut = kMaxStatusLineBytes;
        // Not inside a UTF-8 sequence: step back over continuation bytes.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text = text.substr(0, cut);
    }
    return std::string(text);
}

bool IsUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t more = 0;
        unsigned min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + more >= text.size())
            return false;
        unsigned code = c & (0x3Fu >> more);
        for (size_t k = 1; k <= more; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += more + 1;
    }
    return true;
}

namespace {
/// Reads "%d" after optional blanks, as sscanf would; false when no number is there.
bool readNumber(std::string_view& text, int& value)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc())
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}
} // namespace

std::string VersionText(std::string_view productVersion)
{
    std::string text = "Filtering Software";
    int part[4] = {};
    std::string_view rest = productVersion;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (rest.empty() || rest.front() != ',')
                return text;
            rest.remove_prefix(1);
        }
        if (!readNumber(rest, part[i]))
            return text;
    }
    // A silly resource value must not overflow the sum.
    if (part[0] > 1000000 || part[0] < -1000000)
        return text;
    return text + "    Ver." + std::to_string(part[0] + 2) + "." + std::to_string(part[1]) + "-" +
           std::to_string(part[3]);
}

CloseHandler::CloseHandler(Environment environment)
    : m_env(std::move(environment))
{
}

CloseRoad CloseHandler::OnClose()
{
    if (m_env.testQueryExit && m_env.testQueryExit())
        return CloseRoad::CloseNow;
    if (!m_exitRequested)
        return CloseRoad::Hide;
    m_exitRequested = false;
    m_password.clear();
    if (m_env.edition != 2 || !m_env.readPassword || !m_env.readPassword(m_password) || m_password.empty())
        return CloseRoad::AskReallyExit;
    return CloseRoad::AskPassword;
}

bool PasswordPrompt::Accepts(std::string_view typed) const { return typed.substr(0, kMaxPasswordInput) == m_expected; }

bool NoDisplay(std::string_view qpaPlatform, std::string_view display, std::string_view waylandDisplay)
{
    const bool needsDisplay =
        qpaPlatform.empty() || qpaPlatform.starts_with("xcb") || qpaPlatform.starts_with("wayland");
    return needsDisplay && display.empty() && waylandDisplay.empty();
}

void StatusQueue::Push(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_lines.empty();
    if (m_lines.size() >= m_capacity) {
        m_lines.pop_front();
        ++m_dropped;
    }
    m_lines.emplace_back(StatusLineText(text));
    // Under the lock, so that once SetWake({}) returns no wake reaches a window that
    // is going away. The wake only posts; Take never waits for anything else.
    if (wasEmpty && m_wake)
        m_wake();
}

void StatusQueue::SetWake(std::function<void()> wake)
{
    std::lock_guard lock(m_mutex);
    m_wake = std::move(wake);
    if (m_wake && !m_lines.empty())
        m_wake();
}

std::vector<std::string> StatusQueue::Take(size_t* dropped)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines(std::make_move_iterator(m_lines.begin()), std::make_move_iterator(m_lines.end()));
    m_lines.clear();
    if (dropped)
        *dropped = m_dropped;
    m_dropped = 0;
    return lines;
}

} // namespace tray
