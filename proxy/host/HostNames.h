#pragma once

#include <string>

/// Names through which the proxy, the keeper and the configuration application find
/// and signal one another.
inline constexpr const char* kServiceName = "Filtering Service";
inline constexpr const char* kKeeperServiceName = "Filtering Keeper";
inline constexpr const char* kEventDead = "__zpfDead";
inline constexpr const char* kEventQueryExit = "__zpfQueryExit";
inline constexpr const char* kEventKeeperStop = "__zpfkeeperStop";
inline constexpr const char* kEventServiceStop = "__zpfServiceStop";
inline constexpr const char* kProxyWindowClass = "zpfWndClass";
inline constexpr const char* kKeeperWindowClass = "zpfkeeperWndClass";
inline constexpr const char* kKeeperProgram = "zpfkeeper";
inline constexpr const char* kProxyProgram = "zpf";

/// The runtime folder of the program directory, where the named objects live.
std::string HostRuntimeDirectory();
