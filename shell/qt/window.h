#pragma once
// Windows made from layout files, and the small window functions around
// them: openfig with its "new"/"reuse" policies and singleton registry,
// guihandles, guidata, movegui, the current window and finding controls by
// Tag. A control's Tag is its objectName; what a push button calls is its
// dynamic property "Callback" ("anglepicksw('LoadData')").

#include <QPointer>
#include <QWidget>
#include <any>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QCustomPlot;
class QLabel;
class QProgressBar;
class QPushButton;

namespace shell {

// A top-level window made from a layout file. It holds the widget tree the
// layout describes, the window's application data, and a status line with
// a progress bar and a Cancel button for long actions.
class Figure : public QWidget {
public:
  Figure(std::string name, QWidget* form, std::vector<QObject*> objects);

  // The layout's name ("Anglepick"), the key of the singleton registry.
  const std::string& name() const { return name_; }
  QWidget* form() const { return form_; }
  // Every object the layout made, the window's form first, in creation
  // order; hidden ones included.
  std::vector<QObject*> objects() const;
  // Makes objects built into the window after it was made (a layout shown
  // inside it, such as the results text of its pane) its own: found by
  // Tag, and closed with it.
  void adopt(const std::vector<QObject*>& objects);
  // The window's plot area (the first QCustomPlot), or nullptr.
  QCustomPlot* plot() const;
  std::map<std::string, std::any>& appdata() { return appdata_; }

  // The status line: errors and progress of the actions.
  void setstatus(const QString& text);
  QString status() const;
  // Shows progress of a long action; hideprogress() when it ends.
  void showprogress(const QString& what, double fraction);
  void hideprogress();
  bool cancelrequested() const { return cancel_; }
  void resetcancel() { cancel_ = false; }

  // During an action every button of the window but Cancel is disabled;
  // unlocking gives each the state it had, or the one the action set
  // meanwhile through setenabled().
  void lockbuttons();
  void unlockbuttons();
  bool locked() const { return locked_; }

  // Asked before the window closes (by the user or by a program); false
  // keeps it open.
  void setcloseguard(std::function<bool()> guard) { closeguard_ = std::move(guard); }

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  std::string name_;
  QWidget* form_;
  std::vector<QPointer<QObject>> objects_;
  std::map<std::string, std::any> appdata_;
  QLabel* status_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancelbutton_ = nullptr;
  QString progresstext_;
  bool cancel_ = false;
  bool locked_ = false;
  std::function<bool()> closeguard_;
};

// Enables or disables a control; a button of a locked window takes the
// state when the window is unlocked, so an action's own choice outlives
// the lock.
void setenabled(QWidget* control, bool on);

// The record of a window's objects by Tag: one field per valid name, each
// holding every object with that Tag in the order they were found.
using Handles = std::map<std::string, std::vector<QObject*>>;

// Runs a control's Callback text when the control is used; set once by the
// program so that windows need not know about action switches.
using CallbackRunner = std::function<void(Figure* window, QObject* control, const std::string& callback)>;
void setcallbackrunner(CallbackRunner runner);

// Windows are made but never shown (scripted runs, screenshots, tests).
void setheadless(bool headless);
bool headless();

// The XML of a layout: a file of that name beside the program overrides
// the one built into it. Raises core::Error when neither exists.
QByteArray layoutxml(const std::string& filename);

// Opens a window from a layout file (name with or without ".fig"). "new"
// always loads a new window; "reuse" returns the open window of that
// layout if there is one. The window is moved wholly on screen, made the
// current window and raised. Raises core::Error with "Argument must be a
// .fig file" or "Second input argument must be 'new' or 'reuse'.".
Figure* openfig(std::string_view filename, std::string_view policy = "new");

// Builds a layout's form (name without ".fig") inside `window`, as a child
// of `parent`: its objects become the window's, and its push buttons call
// their Callback as the window's own do. The form's window title is kept
// as its windowTitle, for a tab or a heading.
QWidget* embedlayout(Figure* window, std::string_view name, QWidget* parent);

// Makes a program window fit small and magnified screens: its control
// panel (the widget Tagged "controlPanel") scrolls when the window is too
// short for it, and sits beside the plot in a splitter the user can drag;
// the plot takes the rest of the room. A window without both, or a
// headless one, keeps its layout.
void splitpanels(Figure* window);

// The window of an object (walking up its parents); raises core::Error
// "H must be the handle to a figure or figure descendent." when it has
// none.
Figure* figureof(QObject* h);

// The handles record of the window of h (the current window when h is
// null).
Handles guihandles(QObject* h = nullptr);

// The value stored on the window of h under "UsedByGUIData_m", and storing
// it.
std::any guidata(QObject* h);
void guidata(QObject* h, std::any data);

// Moves a window: "onscreen" (the least move that brings it wholly on the
// screen, shrinking it if it is larger), "north", "south", "east", "west",
// "northeast", "southeast", "northwest", "southwest", "center". Raises
// core::Error "unrecognized position" for another text.
void movegui(QWidget* h, std::string_view position);
// Moves it by a pixel offset from the screen's edges: a positive x from the
// left, a negative from the right; a positive y from the bottom, a negative
// from the top.
void movegui(QWidget* h, double x, double y);

// The current window (where the last action plotted), or nullptr.
Figure* gcf();
void setcurrent(Figure* figure);
// Every open window, oldest first.
std::vector<Figure*> figures();

// Every object of every open window whose Tag equals tag.
std::vector<QObject*> findobj(std::string_view tag);

// Gives a window the background colour of the controls, so that it reads
// as one panel (Symrestore's window).
void usecontrolcolour(QWidget* window);

// Application data of the root (the screen): the singleton registry lives
// here under "<name>_SINGLETON_handle" cut to 31 characters.
std::map<std::string, std::any>& rootappdata();

} // namespace shell
