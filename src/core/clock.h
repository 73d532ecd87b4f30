#pragma once

#include <QDateTime>
#include <QString>

namespace qv {

// The time of day, passed in so that tests can hold it still.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
  public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The stored form of a date and time: sorts as text, newest last.
inline QString stored_date(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

}  // namespace qv
