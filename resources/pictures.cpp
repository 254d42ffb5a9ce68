#include "resources/pictures.h"

namespace resources {

QString picturePath(Picture picture)
{
    switch (picture) {
    case Picture::Form1Skin:
        return QStringLiteral(":/pictures/form1-skin.jpg");
    case Picture::Form1Close:
        return QStringLiteral(":/pictures/form1-close.jpg");
    case Picture::Form1Minimise:
        return QStringLiteral(":/pictures/form1-minimise.jpg");
    case Picture::Form1Banner:
        return QStringLiteral(":/pictures/form1-banner.jpg");
    case Picture::Icon:
        return QStringLiteral(":/pictures/icon.png");
    case Picture::Form2Credits:
        return QStringLiteral(":/pictures/form2-credits.jpg");
    case Picture::Form2Close:
        return QStringLiteral(":/pictures/form2-close.jpg");
    }
    return {};
}

} // namespace resources
