#pragma once

namespace stations {

// Combo1 Click: plays the station whose display name is the list's text. Compares the text with
// every display name, exactly and ordinally, and puts the endpoint of the equal one into the
// media player's URL. A text that names no station does nothing.
void combo1Click();

} // namespace stations
