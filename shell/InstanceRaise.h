#pragma once
// Brings the running copy's window to the front when a later start asks the
// single-instance guard to show it.
#include <QString>

class QWidget;
class TOneInstance;

// Restores window from minimised and raises it, then any modal dialog above
// it; without a window, or once it is gone, every visible top-level window.
void raiseOnShowRequest(TOneInstance &guard, QWidget *window);

// After a hand-over, what to tell the user when the running copy may not
// have come to the front: empty when it shows on this display.
QString alreadyRunningNotice(const TOneInstance &guard);
