#include "web_control.h"

#include "gm_values.h"
#include "marks_error.h"

namespace {

// Blanks and control characters, as the trimming of field values sees them.
bool IsTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

QString Cleaned(QString value)
{
    value.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && IsTrimmed(value[begin]))
        ++begin;
    while (end > begin && IsTrimmed(value[end - 1]))
        --end;
    return value.mid(begin, end - begin);
}

const TForm* FormIn(const TFormsRead& read, const QString& form)
{
    for (const auto& found : read.Forms)
        if (found && found->Name.compare(form, Qt::CaseInsensitive) == 0)
            return &*found;
    return nullptr;
}

} // namespace

const TFormField* TWebControl::FieldIn(const TFormsRead& read, const QString& form, const QString& field)
{
    if (!read.FormNames.contains(form, Qt::CaseInsensitive))
        return nullptr;
    const TForm* found = FormIn(read, form);
    if (!found)
        return nullptr;
    for (const TFormField& f : found->Fields)
        if (f.Name.compare(field, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

QString TWebControl::ValueIn(const TFormsRead& read, const QString& form, const QString& field,
                             const QString& defaultValue)
{
    const TFormField* found = FieldIn(read, form, field);
    return found ? Cleaned(found->Value) : defaultValue;
}

int TWebControl::IntegerIn(const TFormsRead& read, const QString& form, const QString& field, int defaultValue)
{
    return ReadInteger(ValueIn(read, form, field, QString())).value_or(defaultValue);
}

double TWebControl::RealIn(const TFormsRead& read, const QString& form, const QString& field, double defaultValue)
{
    return ReadReal(ValueIn(read, form, field, QString())).value_or(defaultValue);
}

void TWebControl::TakeRead(const TFormsRead& read)
{
    FForms = read.FormNames;
}

QString TWebControl::GetFieldValue(const QString& form, const QString& field, const QString& defaultValue)
{
    if (!WebBrowser)
        throw EMarksError("WebBrowser not assigned");
    const TPageResult result = WebBrowser->Exchange({TPageStep::Read({form})});
    if (result.Reads.empty())
        return defaultValue;
    TakeRead(result.Reads.front());
    return ValueIn(result.Reads.front(), form, field, defaultValue);
}

int TWebControl::GetFieldValueAsInteger(const QString& form, const QString& field, int defaultValue)
{
    return ReadInteger(GetFieldValue(form, field, QString())).value_or(defaultValue);
}

double TWebControl::GetFieldValueAsReal(const QString& form, const QString& field, double defaultValue)
{
    return ReadReal(GetFieldValue(form, field, QString())).value_or(defaultValue);
}

bool TWebControl::GetFieldValueAsBoolean(const QString& form, const QString& field)
{
    return GetFieldValueAsInteger(form, field, 0) == 1;
}

void TWebControl::SetFieldValue(const QString& form, const QString& field, const QString& value)
{
    if (!FForms.contains(form, Qt::CaseInsensitive))
        throw EMarksError("Index out of bounds.");
    if (!WebBrowser)
        throw EMarksError("WebBrowser not assigned");
    WebBrowser->Exchange({TPageStep::Write(form, field, value)});
}
