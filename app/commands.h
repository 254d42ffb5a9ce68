#pragma once

namespace app {

// Form1 Image1 Click: ends the program.
void form1Image1Click();
// Form1 Image2 Click: minimises Form1.
void form1Image2Click();
// Form1 Label3 Click: hides Form1, shows Form2.
void form1Label3Click();
// Form2 Image2 Click: hides Form2, shows Form1.
void form2Image2Click();
// Form2 Image1 DblClick: hides Form2, shows Form1.
void form2Image1DblClick();

} // namespace app
