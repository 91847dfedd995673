#pragma once
// The date-and-time text put into comments.
#include <QString>

class QDateTime;

// The current local date and time as the user's short date and long time;
// the time is left out at exactly midnight.
QString getdatetimestring();
// The same for a given moment, so tests need not depend on the clock.
QString getdatetimestring(const QDateTime &now);
