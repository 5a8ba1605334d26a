#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

/// The tray window's logic without widgets, so it is tested without a display.
namespace tray {

/// Texts of the window, its dialogs and the tray icon.
inline constexpr const char* kWindowTitle = "FilteringSoftware";
inline constexpr const char* kIdleText = "Ready";
inline constexpr const char* kPasswordTitle = "Filtering Software";
inline constexpr const char* kPasswordLabel = "パスワードを入力してください。";
inline constexpr const char* kPasswordWrong = "パスワードが違います。";
inline constexpr const char* kPasswordOk = "OK";
inline constexpr const char* kPasswordCancel = "ｷｬﾝｾﾙ";
inline constexpr const char* kReallyExit = "Really exit?";
inline constexpr const char* kVersionTitle = "Version Information";
inline constexpr const char* kNoSystemTray = "No system tray on this desktop: the window has no icon.";
/// The password edit field takes at most this many characters.
inline constexpr size_t kMaxPasswordInput = 255;
/// The status text keeps the newest lines up to this count; older ones are dropped.
inline constexpr size_t kMaxStatusLines = 10000;
/// A longer status line is cut to this many bytes (at a character boundary).
inline constexpr size_t kMaxStatusLineBytes = 4096;

/// The tray icon's pictures by role; the numbers are the icon identifiers.
enum class TrayIconRole { Created = 128, Starting = 142, Listening = 144 };
/// The tip shown with the icon of the role.
const char* TrayIconTip(TrayIconRole role);

/// A status line as the window shows it: one final line feed of the text is dropped,
/// since the window ends every line itself, and the rest is cut to kMaxStatusLineBytes.
std::string StatusLineText(std::string_view text);

/// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view text);

/// The version dialog's text from a product version "a, b, c, d": "Filtering Software
///    Ver.<a+2>.<b>-<d>". A version that does not read so gives the name alone.
std::string VersionText(std::string_view productVersion);

/// What the close handler does with one close request.
enum class CloseRoad {
    CloseNow, ///< "__zpfQueryExit" was signalled: the proxy ends without questions
    Hide, ///< the caption's close or another process's close message: only hide
    AskPassword, ///< Exit in the standalone edition with a password stored
    AskReallyExit, ///< Exit otherwise: "Really exit?" with Yes and No
};

/// The main window's close handler. exitRequested is set by the two Exit commands and
/// cleared when a close request reads it. UI thread only.
class CloseHandler {
public:
    struct Environment {
        /// Tests "__zpfQueryExit" without waiting (an auto-reset event is cleared by it).
        std::function<bool()> testQueryExit;
        /// Reads the administrator password; false when it cannot be read.
        std::function<bool(std::string& password)> readPassword;
        int edition = 2;
    };

    explicit CloseHandler(Environment environment);

    /// The Exit commands: the next close request asks before the proxy ends.
    void RequestExit() { m_exitRequested = true; }
    bool ExitRequested() const { return m_exitRequested; }
    /// Decides a close request. After AskPassword, Password() is the one to compare with.
    CloseRoad OnClose();
    const std::string& Password() const { return m_password; }

private:
    Environment m_env;
    bool m_exitRequested = false;
    std::string m_password;
};

/// The password dialog: the typed text against the stored password, exactly.
class PasswordPrompt {
public:
    explicit PasswordPrompt(std::string expected)
        : m_expected(std::move(expected))
    {
    }
    /// True when the text (as the edit field holds it: at most kMaxPasswordInput
    /// characters) is the password; false means "wrong": the dialog stays, its text selected.
    bool Accepts(std::string_view typed) const;

private:
    std::string m_expected;
};

/// True when the window cannot be shown: the platform Qt would use needs a display
/// and neither display variable names one. qpaPlatform is QT_QPA_PLATFORM (empty when
/// unset); a platform without a display (offscreen, minimal, vnc, ...) needs none.
bool NoDisplay(std::string_view qpaPlatform, std::string_view display, std::string_view waylandDisplay);

/// Status lines on their way from any thread to the UI thread. Push never waits for
/// the UI thread: it holds a short lock of its own, and beyond `capacity` queued lines
/// the oldest are dropped (the window would drop them anyway), so a flood of lines
/// costs bounded memory. The wake function is called by the push that finds the queue
/// empty, so the UI thread is woken once per batch; it must only post, never wait.
class StatusQueue {
public:
    explicit StatusQueue(size_t capacity = kMaxStatusLines)
        : m_capacity(capacity ? capacity : 1)
    {
    }

    /// Any thread.
    void Push(std::string_view text);
    /// Installs (or, empty, removes) the wake function; it is called at once when lines wait.
    void SetWake(std::function<void()> wake);
    /// UI thread: the queued lines in the order they were pushed; *dropped gets the
    /// number lost to the bound since the last call.
    std::vector<std::string> Take(size_t* dropped = nullptr);

private:
    std::mutex m_mutex;
    std::deque<std::string> m_lines;
    std::function<void()> m_wake;
    size_t m_capacity;
    size_t m_dropped = 0;
};

} // namespace tray
