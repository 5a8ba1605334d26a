#pragma once

#include <string>

namespace zpfctl {

/// True when the user's locale asks for Japanese: the first of LC_ALL, LC_MESSAGES and
/// LANG that is set and not empty begins with "ja".
bool Japanese();

/// The text in the user's language.
inline const char* Say(const char* japanese, const char* english) { return Japanese() ? japanese : english; }

/// The files hold Shift_JIS: text typed in UTF-8 is converted strictly. False, after a
/// message naming the text, when it holds a character Shift_JIS has no form for.
bool ToSjis(const std::string& utf8, std::string& sjis);

/// Prints "zpfctl: message" to stderr and returns kFailed.
int Refuse(const std::string& message);

} // namespace zpfctl
