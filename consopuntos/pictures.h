// The pictures of the two buttons and the program's icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

// Two green curved arrows chasing each other in a circle (46 x 32).
[[nodiscard]] QPixmap RefreshPicture();
// A red diagonal cross with a dark outline (46 x 32).
[[nodiscard]] QPixmap CancelPicture();
// The product logo, drawn at size x size (the window's icon is the 32 x 32 one).
[[nodiscard]] QPixmap ProgramLogo(int size);
// The program's icon: the logo at 16, 32 and 48 pixels.
[[nodiscard]] QIcon ProgramIcon();
