#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, drawn in code: a round dial with a sine wave across its face.
QPixmap programIconPixmap(int size = 32);

// The icon at the sizes a title bar, a task bar and the About window ask for.
QIcon programIcon();
