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

// Brings Form1 before the user from wherever it is: the credits window, if it is shown, is hidden
// as its own way back hides it, and Form1 is shown in its normal state and raised. Form2 is not
// created for this.
void raiseForm1();

} // namespace app
