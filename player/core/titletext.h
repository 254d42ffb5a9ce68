#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace player {

// Replaces the character references of markup text (&#2438; &#x986; &amp; &lt; &gt; &quot;
// &apos;); an ampersand that starts none is kept as it is.
QString decodeCharacterReferences(QStringView text);

// Makes a stream title fit for display: valid UTF-8 is taken as it is; UTF-8 that was misread as
// Latin-1 (or its Windows variant) and encoded again is restored; other bytes are read as
// Latin-1; character references are decoded, control characters dropped and blanks simplified.
QString repairTitle(QByteArrayView raw);

// Text a station sent (a title, a station or playlist name) without the controls that override
// or isolate the direction of the text around them (U+202A-U+202E, U+2066-U+2069): a title could
// otherwise show reversed, or pass for another. The joiners that Bangla script needs stay.
QString withoutDirectionControls(const QString &text);

// An address as the user may see it: without its password, if it has one.
QString shownAddress(const QString &address);

} // namespace player
