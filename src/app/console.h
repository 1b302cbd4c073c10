#pragma once

// Wavedial is a GUI program on Windows: started from the Start menu it opens no console,
// and started from a command prompt it has no standard output of its own. Before it
// prints --help, --version or a command-line error, it attaches to the console of the
// program that started it, where there is one and its output does not already go to a
// file or pipe. Elsewhere this does nothing.
void attachParentConsole();
