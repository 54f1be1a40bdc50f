// The pictures of the two buttons and the program's icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

// Two green curved arrows chasing each other in a circle (46 x 32).
[[nodiscard]] QPixmap RefreshPicture();
// A red diagonal cross with a dark outline (46 x 32).
[[nodiscard]] QPixmap CancelPicture();
// The 32 x 32 product logo.
[[nodiscard]] QIcon ProgramIcon();
