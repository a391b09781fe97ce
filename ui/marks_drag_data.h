#pragma once

#include <QMimeData>
#include <QPointer>
#include <QWidget>

// What a drag of marks carries between the windows of this program: the control
// it started from, and nothing of value to anyone else. Its format is private, and
// a drop target recognises the drag by this class, so drags from other programs
// (which arrive as plain mime data) are never taken for a drag of marks.
class TMarksDragData : public QMimeData {
    Q_OBJECT

public:
    explicit TMarksDragData(QWidget* source);

    // The control the drag started from; null once it is gone.
    QWidget* Source() const { return FSource; }

    // The control a drag of marks started from; null for any other drag.
    static QWidget* SourceOf(const QMimeData* data);

private:
    QPointer<QWidget> FSource;
};
