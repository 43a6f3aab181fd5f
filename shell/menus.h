#pragma once
// The menu bar of a program's main window. For now it holds the Help menu
// alone; the program's other menus join it here.

class QMenu;
class QMenuBar;

namespace shell {

class Figure;
struct Program;

// Gives the program's window its menu bar (once: a window that already has
// one keeps it) and returns it. The window grows by the bar's height so
// that the layout below it, plot included, keeps its size.
QMenuBar* addmenubar(Figure* window, const Program& program);

// The Help menu: "User's guide" (F1), which opens the guide in the
// desktop's viewer for Markdown or text, and "About PROGRAM".
QMenu* addhelpmenu(QMenuBar* bar, Figure* window, const Program& program);

} // namespace shell
