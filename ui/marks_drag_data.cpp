#include "marks_drag_data.h"

namespace {

const char* const kFormat = "application/x-vexa-terrun-marks-drag";

} // namespace

TMarksDragData::TMarksDragData(QWidget* source) : FSource(source)
{
    setData(kFormat, QByteArray());
}

QWidget* TMarksDragData::SourceOf(const QMimeData* data)
{
    const auto* marks = qobject_cast<const TMarksDragData*>(data);
    return marks ? marks->Source() : nullptr;
}
