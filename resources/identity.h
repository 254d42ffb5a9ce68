#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The program's fixed identity: its project record and its version record.
// Nothing reads these back at run time except to name the program to the
// desktop (application name, desktop entry, window icon).
namespace resources {

// Project record.
inline constexpr std::string_view projectName = "Project1";
// The program's name outside its windows (task lists, application name).
inline constexpr std::string_view title = "Tarvelin All Bangla Radio Player v1.8";
// Kept exactly as recorded, cut short at "Ful".
inline constexpr std::string_view executableName = "Tarvelin All Bangla Radio v01(All) Ful";
inline constexpr std::uint16_t locale = 0x0409; // English (United States)

// Version record: the fixed part.
inline constexpr std::array<std::uint16_t, 4> fileVersionNumber = { 1, 0, 0, 0 };
inline constexpr std::array<std::uint16_t, 4> productVersionNumber = { 1, 0, 0, 0 };

// Version record: the string table (language 0x0409, code page 1200).
inline constexpr std::string_view companyName = "http://www.tarvelin.example.com";
inline constexpr std::string_view productName = "Tarvelin All Bangla Radio v01(All) Ful";
inline constexpr std::string_view internalName = "Tarvelin All Bangla Radio Player v1.8";
inline constexpr std::string_view originalFilename = "Tarvelin All Bangla Radio Player v1.8.exe";

// Version record: the one translation pair, language and code page.
inline constexpr std::uint16_t translationLanguage = 0x0409;
inline constexpr std::uint16_t translationCodePage = 0x04B0;

// Desktop identity on this platform.
inline constexpr std::string_view applicationId = "com.example.tarvelin.radio";
inline constexpr std::string_view desktopFileName = "tarvelin-radio"; // desktop entry and icon name
inline constexpr std::string_view organizationDomain = "tarvelin.example.com";

} // namespace resources
