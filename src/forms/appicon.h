#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;

// The program's icon, drawn in code: a round dial with a sine wave across its face.
// Paints it into the square (0, 0, size, size) of any device: the window's pixmaps and
// the installed SVG and PNG icons all come from this one drawing.
void paintProgramIcon(QPainter &p, double size);

QPixmap programIconPixmap(int size = 32);

// The icon at the sizes a title bar, a task bar and the About window ask for.
QIcon programIcon();
