#pragma once

#include <QString>
#include <QStringList>

#include "web_view.h"

// The web bridge: reads and writes the hidden fields of the page's forms. Every
// read lists the live document's forms and the form's fields anew; nothing is
// cached between reads. The form list of the last read is kept for SetFieldValue.
class TWebControl {
public:
    TWebView* WebBrowser = nullptr;

    QString GetFieldValue(const QString& form, const QString& field, const QString& defaultValue);
    int GetFieldValueAsInteger(const QString& form, const QString& field, int defaultValue);
    double GetFieldValueAsReal(const QString& form, const QString& field, double defaultValue);
    bool GetFieldValueAsBoolean(const QString& form, const QString& field);
    // Throws "Index out of bounds." when the last read did not find the form.
    void SetFieldValue(const QString& form, const QString& field, const QString& value);

    // Takes a read made within an exchange as the latest one.
    void TakeRead(const TFormsRead& read);
    // A field of a read: its value cleaned ("&nbsp;" as a space, blanks and control
    // characters trimmed), or the default when the form or field is missing.
    static QString ValueIn(const TFormsRead& read, const QString& form, const QString& field,
                           const QString& defaultValue);
    // The field itself, or nothing when the form or field is missing.
    static const TFormField* FieldIn(const TFormsRead& read, const QString& form, const QString& field);
    static int IntegerIn(const TFormsRead& read, const QString& form, const QString& field, int defaultValue);
    static double RealIn(const TFormsRead& read, const QString& form, const QString& field, double defaultValue);

    const QStringList& Forms() const { return FForms; }

private:
    QStringList FForms;
};
