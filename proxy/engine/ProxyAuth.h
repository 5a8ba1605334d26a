#pragma once

/// How a session authenticates its client: the zpfAuthorization setting, or the mode
/// of the client's range in the IP policy list. Any other value means no check.
enum class AuthMode : int {
    None = 0,
    Required = 1, ///< no page without valid credentials
    Optional = 2, ///< an authenticated client is not filtered; "filterset" asks for credentials
};

/// What the client's credentials come to. From Refused up the value is the account's
/// access class as the account list gives it.
enum class AuthResult : int {
    OtherScheme = -3, ///< credentials of a scheme other than Basic
    NoCredentials = -2, ///< no Proxy-Authorization line
    Refused = -1, ///< unknown account or wrong password
    Unfiltered = 1, ///< an account that is not filtered; every other class is
};

/// True for an account's access class, false for a failure.
inline bool Authenticated(AuthResult result) { return static_cast<int>(result) >= 0; }
