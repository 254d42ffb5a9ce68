#pragma once

#include <QString>

// The pictures of the two windows and the application icon, embedded as Qt
// resources under :/pictures/.
namespace resources {

enum class Picture {
    Form1Skin, // 246 x 325 JPEG, the main window's background
    Form1Close, // 27 x 17 JPEG, Image1
    Form1Minimise, // 27 x 17 JPEG, Image2
    Form1Banner, // 251 x 51 JPEG, Image3
    Icon, // 120 x 130 PNG, window and application icon
    Form2Credits, // 431 x 311 JPEG, the second window's Image1
    Form2Close, // 21 x 19 JPEG, the second window's Image2
};

inline constexpr Picture allPictures[] = {
    Picture::Form1Skin,
    Picture::Form1Close,
    Picture::Form1Minimise,
    Picture::Form1Banner,
    Picture::Icon,
    Picture::Form2Credits,
    Picture::Form2Close,
};

// The resource path of a picture, e.g. ":/pictures/form1-skin.jpg".
QString picturePath(Picture picture);

} // namespace resources
