#pragma once

#include <string_view>

// The names the program gives itself on the desktop (application name, desktop entry, window
// icon, the desktop's media controls). Its version is platform::versionText, from the project
// version.
namespace resources {

// The program's name outside its windows (task lists, application name); the desktop entry and
// the metainfo carry it too.
inline constexpr std::string_view title = "Tarvelin All Bangla Radio Player v1.8";

// Desktop identity on this platform.
inline constexpr std::string_view desktopFileName = "tarvelin-radio"; // desktop entry and icon name
inline constexpr std::string_view organizationDomain = "tarvelin.example.com";

} // namespace resources
