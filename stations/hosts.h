#pragma once

// The stations' hosts. These are addresses and names reserved for documentation and examples
// (192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24, example.com/.net/.org): a distributor puts the
// stations' real hosts here, and the end-to-end tests stand these up in a private network.
// Entries that share a host here share it in the catalogue.
namespace stations::hosts {

inline constexpr char goonGoonOnlineGaanInfinity[] = "192.0.2.11"; // Nos. 1, 8, 9
inline constexpr char todayDhaka[] = "192.0.2.12";
inline constexpr char todayChitagong[] = "192.0.2.13";
inline constexpr char foorti[] = "192.0.2.14";
inline constexpr char dhaka[] = "192.0.2.15";
inline constexpr char twoFun[] = "192.0.2.16";
inline constexpr char metro[] = "192.0.2.17";
inline constexpr char arToNaDFantastic[] = "198.51.100.20"; // Nos. 10, 12
inline constexpr char himchori[] = "198.51.100.21";
inline constexpr char josh[] = "198.51.100.22";
inline constexpr char unMix[] = "198.51.100.23";
inline constexpr char protitee[] = "198.51.100.24";
inline constexpr char bijoy[] = "203.0.113.30";
inline constexpr char lemon24[] = "203.0.113.31";
inline constexpr char shoutBd[] = "203.0.113.32"; // Nos. 21, 22, 25
inline constexpr char betar[] = "203.0.113.33";

inline constexpr char pioneerFm[] = "pioneerfm.example.com";
inline constexpr char banglaNet[] = "banglanet.example.net";
inline constexpr char oniyom[] = "oniyom.example.org";
inline constexpr char northstar[] = "northstar.example.com";
inline constexpr char apon[] = "apon.example.net";
inline constexpr char adda[] = "adda.example.org"; // Nos. 11, 27
inline constexpr char japanRadio[] = "japanradio.example.com";
inline constexpr char washington[] = "washingtonbangla.example.net";
inline constexpr char bulletins[] = "bulletins.example.org";
inline constexpr char recordings[] = "recordings.example.com"; // Nos. 32, 33, 34
inline constexpr char techvision[] = "techvision.example.net";

// The account segment of the tune-in script's path, and the user identifier of the
// generated-playlist query (64 lowercase hexadecimal digits).
inline constexpr char aponAccount[] = "radioapon";
inline constexpr char recordingsUserId[]
    = "5f2b9c0d4e8a71f36b0c9d2e4a5f8b1c7d3e6f09a2b4c8d1e5f7a3b6c9d0e2f4";

} // namespace stations::hosts
