#include "history_caption.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("THistoryCaption", text);
}

// The verbs a step is named by, alone and with what the step changed.
struct TVerb {
    const char* Name;
    const char* Alone;
    const char* WithRows;
};
const TVerb kVerbs[] = {
    {"Insert", QT_TRANSLATE_NOOP("THistoryCaption", "Insert"), QT_TRANSLATE_NOOP("THistoryCaption", "Insert %1")},
    {"Edit", QT_TRANSLATE_NOOP("THistoryCaption", "Edit"), QT_TRANSLATE_NOOP("THistoryCaption", "Edit %1")},
    {"Delete", QT_TRANSLATE_NOOP("THistoryCaption", "Delete"), QT_TRANSLATE_NOOP("THistoryCaption", "Delete %1")},
    {"Change", QT_TRANSLATE_NOOP("THistoryCaption", "Change"), QT_TRANSLATE_NOOP("THistoryCaption", "Change %1")},
    {"Move", QT_TRANSLATE_NOOP("THistoryCaption", "Move"), QT_TRANSLATE_NOOP("THistoryCaption", "Move %1")},
    {"Copy", QT_TRANSLATE_NOOP("THistoryCaption", "Copy"), QT_TRANSLATE_NOOP("THistoryCaption", "Copy %1")},
    {"Import", QT_TRANSLATE_NOOP("THistoryCaption", "Import"), QT_TRANSLATE_NOOP("THistoryCaption", "Import %1")},
    {"Reindex", QT_TRANSLATE_NOOP("THistoryCaption", "Reindex"), QT_TRANSLATE_NOOP("THistoryCaption", "Reindex %1")},
};

// The rows of one table a step changed: "Mark", "5 Marks"; empty when unknown.
QString RowsText(const QString& part)
{
    static const QRegularExpression counted(QStringLiteral("^([0-9]{1,9}) (Marks|Categories)$"));
    if (part == QLatin1String("Mark"))
        return QCoreApplication::translate("THistoryCaption", "Mark");
    if (part == QLatin1String("Category"))
        return QCoreApplication::translate("THistoryCaption", "Category");
    const QRegularExpressionMatch match = counted.match(part);
    if (!match.hasMatch())
        return {};
    const int n = match.captured(1).toInt();
    if (match.captured(2) == QLatin1String("Marks"))
        return QCoreApplication::translate("THistoryCaption", "%n Marks", nullptr, n);
    return QCoreApplication::translate("THistoryCaption", "%n Categories", nullptr, n);
}

// The step's name in the person's language, or nothing when it has another shape.
QString StepText(const QString& name)
{
    for (const TVerb& verb : kVerbs) {
        const QString word = QLatin1String(verb.Name);
        if (name == word)
            return Tr(verb.Alone);
        if (!name.startsWith(word + ' '))
            continue;
        QString rows;
        for (const QString& part : name.mid(word.size() + 1).split(QStringLiteral(" and "))) {
            const QString text = RowsText(part);
            if (text.isEmpty())
                return {};
            rows = rows.isEmpty() ? text
                                  : QCoreApplication::translate("THistoryCaption", "%1 and %2").arg(rows, text);
        }
        return Tr(verb.WithRows).arg(rows);
    }
    return {};
}

} // namespace

QString HistoryCaption(THistoryCommand command, const QString& step)
{
    const bool undo = command == THistoryCommand::Undo;
    if (step.isEmpty())
        return undo ? QCoreApplication::translate("THistoryCaption", "Undo")
                    : QCoreApplication::translate("THistoryCaption", "Redo");
    const QString text = StepText(step);
    const QString caption = undo ? QCoreApplication::translate("THistoryCaption", "Undo %1")
                                 : QCoreApplication::translate("THistoryCaption", "Redo %1");
    return caption.arg(text.isEmpty() ? step : text);
}
