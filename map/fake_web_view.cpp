#include "fake_web_view.h"

#include <QRegularExpression>

void TFakeWebView::NavigateBlank()
{
    emit NavigationStarted();
    FForms.clear();
    MapExists = false;
}

void TFakeWebView::LoadContent(const QString& html)
{
    FForms.clear();
    MapExists = false;
    Paths.clear();
    static const QRegularExpression formPattern(QStringLiteral("<form id=\"(\\w+)\"[^>]*>(.*?)</form>"),
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression inputPattern(QStringLiteral("<input type=\"hidden\" name=\"(\\w+)\" value=\"([^\"]*)\""));
    for (auto forms = formPattern.globalMatch(html); forms.hasNext();) {
        const auto form = forms.next();
        TForm parsed{form.captured(1), {}};
        for (auto inputs = inputPattern.globalMatch(form.captured(2)); inputs.hasNext();) {
            const auto input = inputs.next();
            parsed.Fields.push_back({input.captured(1), input.captured(2)});
        }
        FForms.push_back(parsed);
    }
}

void TFakeWebView::Complete()
{
    ++FFrame;
    emit NavigateComplete(FFrame);
    emit DocumentComplete(FFrame);
}

TForm* TFakeWebView::FindForm(const QString& name)
{
    for (TForm& form : FForms)
        if (form.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &form;
    return nullptr;
}

QString TFakeWebView::Field(const QString& form, const QString& field) const
{
    for (const TForm& f : FForms)
        if (f.Name == form)
            for (const TFormField& x : f.Fields)
                if (x.Name == field)
                    return x.Value;
    return QStringLiteral("(missing)");
}

void TFakeWebView::SetField(const QString& form, const QString& field, const QString& value)
{
    if (TForm* f = FindForm(form))
        for (TFormField& x : f->Fields)
            if (x.Name.compare(field, Qt::CaseInsensitive) == 0)
                x.Value = value;
}

TFormsRead TFakeWebView::Read(const QStringList& wanted) const
{
    TFormsRead read;
    for (const TForm& form : FForms)
        read.FormNames << form.Name;
    for (const QString& name : wanted) {
        std::optional<TForm> found;
        for (const TForm& form : FForms)
            if (!found && form.Name.compare(name, Qt::CaseInsensitive) == 0)
                found = form;
        read.Forms.push_back(found);
    }
    return read;
}

QStringList TFakeWebView::Arguments(const QString& call)
{
    const qsizetype open = call.indexOf(QLatin1Char('('));
    const QString inner = call.mid(open + 1, call.size() - open - 2);
    QStringList args;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < inner.size(); ++i) {
        const QChar c = inner[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < inner.size()) {
            current += c;
            current += inner[++i];
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char(',') && !quoted) {
            args << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!inner.isEmpty())
        args << current;
    return args;
}

namespace {

QString Unquoted(const QString& text)
{
    return text.size() >= 2 && text.startsWith(QLatin1Char('\'')) ? text.mid(1, text.size() - 2) : text;
}

} // namespace

std::optional<QString> TFakeWebView::PlayPage(const QString& script)
{
    const QString name = script.left(script.indexOf(QLatin1Char('(')));
    const QStringList args = Arguments(script);
    const auto mapIsNull = [this] { SetField(QStringLiteral("mapdata"), QStringLiteral("mapisnull"), MapExists ? "0" : "1"); };
    if (name == QLatin1String("DoMap")) {
        MapExists = true;
        Paths.clear();
        mapIsNull();
        return std::nullopt;
    }
    if (name.startsWith(QLatin1String("Make")) && !MapExists)
        return QStringLiteral("map is null");
    mapIsNull();
    if (!MapExists)
        return std::nullopt;
    SetField(QStringLiteral("errordata"), QStringLiteral("errorCode"), QStringLiteral("0"));
    if (name == QLatin1String("MapSetCenter")) {
        FCenterLat = args.value(0);
        FCenterLng = args.value(1);
    } else if (name == QLatin1String("MapGetCenter")) {
        SetField(QStringLiteral("mapdata"), QStringLiteral("lat"), FCenterLat);
        SetField(QStringLiteral("mapdata"), QStringLiteral("lng"), FCenterLng);
    } else if (name == QLatin1String("MakePolyline")) {
        Paths[args.value(0) + "," + args.value(1)] = Unquoted(args.value(9));
    } else if (name == QLatin1String("MakePolygon")) {
        Paths[args.value(0) + "," + args.value(11)] = Unquoted(args.value(10));
    } else if (name == QLatin1String("PolylineGetPath")) {
        const QString key = args.value(0) + "," + args.value(1);
        if (Paths.contains(key))
            SetField(QStringLiteral("polylinedata"), QStringLiteral("path"), Paths[key]);
        else
            SetField(QStringLiteral("errordata"), QStringLiteral("errorCode"), QStringLiteral("1"));
    }
    return std::nullopt;
}

TPageResult TFakeWebView::Exchange(const std::vector<TPageStep>& steps)
{
    ++Exchanges;
    FBusy = true;
    TPageResult result;
    for (size_t i = 0; i < steps.size(); ++i) {
        const TPageStep& step = steps[i];
        if (step.Kind == TPageStep::skScript || step.Kind == TPageStep::skCall) {
            const QString script =
                step.Kind == TPageStep::skCall ? step.Text + '(' + step.Arguments + ')' : step.Text;
            Scripts << script;
            std::optional<QString> error = OnScript ? OnScript(script) : std::nullopt;
            if (!error)
                error = PlayPage(script);
            if (error) {
                result.Error = error;
                result.FailedStep = int(i);
                break;
            }
            if (AfterScript)
                AfterScript(script);
        } else if (step.Kind == TPageStep::skReadForms) {
            result.Reads.push_back(Read(step.Forms));
        } else {
            SetField(step.Form, step.Field, step.Value);
        }
    }
    FBusy = false;
    return result;
}
