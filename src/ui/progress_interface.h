// How another program follows the progress window of a transfer, the
// acquisition tool among them. The window's text is for the user and is
// no interface: its wording may change at any time. What stays:
//
// - The window is a top-level window of class kProgressWindowClass, made
//   on the thread of the transfer (the application's thread that called
//   the source), and gone when the transfer ends.
// - It carries three window properties, each an unsigned number held in
//   the property's handle value (GetPropA(window, name) cast to an
//   integer): kProgressPageProperty, the page being transferred, from 1;
//   kProgressRowsProperty, the page's rows; kProgressRowsDoneProperty, its
//   rows read so far. All three are in place before the window is shown
//   and are changed together; the rows done never pass the rows.
// - After every change the source sends the window the registered message
//   of kProgressChangedMessage (RegisterWindowMessageA): wParam the page,
//   lParam the rows done. The window answers it with 0. A WH_CALLWNDPROC
//   hook on the transfer's thread sees it as it happens; another thread
//   or process may instead read the properties whenever it likes.
//
// The window is shown only once a transfer has taken a moment, and told
// at most about fifty times a second: a page read at once is never told.
#pragma once

constexpr char kProgressWindowClass[] = "VorelSourceProgress";
constexpr char kProgressPageProperty[] = "VorelSource.Page";
constexpr char kProgressRowsProperty[] = "VorelSource.Rows";
constexpr char kProgressRowsDoneProperty[] = "VorelSource.RowsDone";
constexpr char kProgressChangedMessage[] = "VorelSource.ProgressChanged";
