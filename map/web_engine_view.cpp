#include "web_engine_view.h"

#include <QChildEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QTimer>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

#include "gm_values.h"
#include "marks_error.h"

namespace {

// How long after a person's click or key press in the view a link may still count
// as the one they followed.
constexpr qint64 kPersonInputMs = 1000;

// The page of the map panel: the map page and the blank page, which the program
// loads itself, are the only documents it shows. Every navigation the page asks for
// is refused: a scripted change of address, a form, a link. A web link a person
// clicked, in the page or for a new window, opens in the system's browser instead;
// any other address (a file, a script, data) opens nowhere.
class TMapPanelPage : public QWebEnginePage {
public:
    TMapPanelPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
    {
        FClock.start();
        // The page asks for a window of its own for target=_blank links and
        // window.open; no window is ever made for it.
        connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
            if (request.isUserInitiated() && TakePersonInput())
                OpenOutside(request.requestedUrl());
        });
    }

    void NotePersonInput() { FPersonInputAt = FClock.elapsed(); }
    // Whether the latest navigation of the page's main frame was refused. The page
    // reports the start (and the stop) of a refused navigation as of any other; the
    // document it shows stays all the same.
    bool MainFrameRefused() const { return FMainFrameRefused; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked && TakePersonInput())
            OpenOutside(url);
        // Typed: the program's own loads. The map service's frames inside the page
        // load as they need, but no link or form changes them either.
        if (isMainFrame) {
            FMainFrameRefused = type != NavigationTypeTyped;
            return !FMainFrameRefused;
        }
        return type != NavigationTypeLinkClicked && type != NavigationTypeFormSubmitted;
    }

private:
    QElapsedTimer FClock;
    qint64 FPersonInputAt = -1;
    bool FMainFrameRefused = false;

    // Whether a person clicked or pressed a key in the view just before; one input
    // lets one address through.
    bool TakePersonInput()
    {
        const bool recent = FPersonInputAt >= 0 && FClock.elapsed() - FPersonInputAt <= kPersonInputMs;
        FPersonInputAt = -1;
        return recent;
    }

    static void OpenOutside(const QUrl& url)
    {
        if (url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
            QDesktopServices::openUrl(url);
    }
};

// Tells the page of each click and key press a person makes in the view. Scripts
// cannot make such events; the view's input widget is made (and made again after
// the page's process ends) below the view, so the watch follows new children.
class TPersonInputWatch : public QObject {
public:
    TPersonInputWatch(QWidget* view, TMapPanelPage* page) : QObject(view), FPage(page) { Watch(view); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ChildAdded:
            Watch(static_cast<QChildEvent*>(event)->child());
            break;
        case QEvent::MouseButtonRelease:
            FPage->NotePersonInput();
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
                FPage->NotePersonInput();
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    TMapPanelPage* FPage;

    void Watch(QObject* object)
    {
        if (object == this)
            return;
        object->installEventFilter(this);
        for (QObject* child : object->children())
            Watch(child);
    }
};

// The exchange runs in the page's global scope; page functions run through an
// indirect eval, so a text that does not parse is reported like any other error.
const char* const kExchangeScript = R"JS((function (steps) {
  function same(a, b) { return String(a).toLowerCase() === String(b).toLowerCase(); }
  function valued(el) { return el.tagName === 'INPUT' || el.tagName === 'SELECT' || el.tagName === 'TEXTAREA'; }
  function nameOf(el) { return (valued(el) ? el.getAttribute('name') : el.id) || ''; }
  function findForm(name) {
    for (var i = 0; i < document.forms.length; i++)
      if (same(document.forms[i].getAttribute('name') || '', name)) return document.forms[i];
    return null;
  }
  function read(wanted, stashKey, known) {
    var out = { names: [], forms: [] };
    for (var i = 0; i < document.forms.length; i++) out.names.push(document.forms[i].getAttribute('name') || '');
    for (var j = 0; j < wanted.length; j++) {
      var form = findForm(wanted[j]);
      if (!form) { out.forms.push(null); continue; }
      var fields = [];
      for (var k = 0; k < form.elements.length; k++) {
        var el = form.elements[k], value = valued(el) ? String(el.value) : '';
        if (stashKey && value.length > 1024) {
          var stash = form.marksStash || (form.marksStash = {}), key = stashKey + '|' + nameOf(el);
          if (known && stash[key] === value) value = null;
          else stash[key] = value;
        }
        fields.push([nameOf(el), value]);
      }
      out.forms.push({ name: form.getAttribute('name') || '', fields: fields });
    }
    return out;
  }
  function write(formName, field, value) {
    var form = findForm(formName);
    if (!form) return;
    for (var k = 0; k < form.elements.length; k++) {
      var el = form.elements[k];
      if (valued(el) && same(el.getAttribute('name') || '', field)) { el.value = value; return; }
    }
  }
  var result = { reads: [], error: null, failed: -1 };
  for (var i = 0; i < steps.length; i++) {
    var s = steps[i];
    if (s.k === 0 || s.k === 3) {
      try {
        if (s.k === 0) (0, eval)(s.t);
        else window[s.n].apply(window, s.a);
      } catch (e) {
        result.error = e && e.message !== undefined ? String(e.message) : String(e);
        result.failed = i;
        break;
      }
    } else if (s.k === 1) {
      result.reads.push(read(s.f, s.s, s.kn));
    } else {
      write(s.f, s.n, s.v);
    }
  }
  return JSON.stringify(result);
})()JS";

} // namespace

QString ExchangeScript(const std::vector<TPageStep>& steps)
{
    QString out = QString::fromLatin1(kExchangeScript);
    qsizetype size = out.size() + 16;
    for (const TPageStep& step : steps)
        size += step.Text.size() + step.Value.size() + step.Arguments.size() + 64;
    out.reserve(size);
    out += QLatin1Char('[');
    for (size_t i = 0; i < steps.size(); ++i) {
        const TPageStep& step = steps[i];
        if (i > 0)
            out += QLatin1Char(',');
        out += QStringLiteral("{\"k\":%1").arg(int(step.Kind));
        switch (step.Kind) {
        case TPageStep::skScript:
            out += QLatin1String(",\"t\":");
            AppendJsonString(out, step.Text);
            break;
        case TPageStep::skReadForms:
            out += QLatin1String(",\"f\":[");
            for (qsizetype f = 0; f < step.Forms.size(); ++f) {
                if (f > 0)
                    out += QLatin1Char(',');
                AppendJsonString(out, step.Forms[f]);
            }
            out += QLatin1Char(']');
            if (!step.StashKey.isEmpty()) {
                out += QLatin1String(",\"s\":");
                AppendJsonString(out, step.StashKey);
                out += step.Known ? QLatin1String(",\"kn\":true") : QLatin1String(",\"kn\":false");
            }
            break;
        case TPageStep::skWriteField:
            out += QLatin1String(",\"f\":");
            AppendJsonString(out, step.Form);
            out += QLatin1String(",\"n\":");
            AppendJsonString(out, step.Field);
            out += QLatin1String(",\"v\":");
            AppendJsonString(out, step.Value);
            break;
        case TPageStep::skCall:
            out += QLatin1String(",\"n\":");
            AppendJsonString(out, step.Text);
            out += QLatin1String(",\"a\":[");
            out += step.Arguments;
            out += QLatin1Char(']');
            break;
        }
        out += QLatin1Char('}');
    }
    out += QLatin1String("])");
    return out;
}

TPageResult ReadExchangeAnswer(const QString& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    if (!document.isObject())
        throw EMarksError("The map page did not answer.");
    const QJsonObject answer = document.object();
    TPageResult result;
    for (const QJsonValue& value : answer["reads"].toArray()) {
        const QJsonObject readObject = value.toObject();
        TFormsRead read;
        for (const QJsonValue& name : readObject["names"].toArray())
            read.FormNames << name.toString();
        for (const QJsonValue& formValue : readObject["forms"].toArray()) {
            if (!formValue.isObject()) {
                read.Forms.emplace_back();
                continue;
            }
            TForm form;
            form.Name = formValue["name"].toString();
            for (const QJsonValue& field : formValue["fields"].toArray())
                form.Fields.push_back({field[0].toString(), field[1].toString(), field[1].isNull()});
            read.Forms.emplace_back(std::move(form));
        }
        result.Reads.push_back(std::move(read));
    }
    if (answer["error"].isString()) {
        result.Error = answer["error"].toString();
        result.FailedStep = answer["failed"].toInt();
    }
    return result;
}

QString MapUserAgent()
{
    return QStringLiteral("VexaTerrunMarksEditor/" MARKS_EDITOR_VERSION " (Vexa.Terrun Marks Editor; Qt WebEngine)");
}

TWebEngineView::TWebEngineView(QWidget* parent, QWebEngineProfile* profile) : FView(new QWebEngineView(parent))
{
    setParent(FView);
    if (!profile)
        profile = QWebEngineProfile::defaultProfile();
    profile->setHttpUserAgent(MapUserAgent());
    auto* page = new TMapPanelPage(profile, FView);
    FView->setPage(page);
    new TPersonInputWatch(FView, page);
    connect(page, &QWebEnginePage::loadStarted, this, [this, page] {
        if (page->MainFrameRefused())
            return;
        Report([this] {
            ++FLoadSerial;
            emit NavigationStarted();
        });
    });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        // A load that was stopped or replaced by the next one completes nothing.
        if (!ok)
            return;
        Report([this] {
            emit NavigateComplete(FLoadSerial);
            emit DocumentComplete(FLoadSerial);
        });
    });
}

QWebEnginePage* TWebEngineView::Page() const
{
    return FView->page();
}

void TWebEngineView::NavigateBlank()
{
    Page()->setUrl(QUrl(QStringLiteral("about:blank")));
}

void TWebEngineView::LoadContent(const QString& html)
{
    Page()->setHtml(html);
}

void TWebEngineView::Report(std::function<void()> report)
{
    if (FBusy)
        FDeferred.push_back(std::move(report));
    else
        report();
}

void TWebEngineView::HandOnDeferred()
{
    std::vector<std::function<void()>> reports;
    reports.swap(FDeferred);
    for (auto& report : reports)
        Report(std::move(report));
}

TPageResult TWebEngineView::Exchange(const std::vector<TPageStep>& steps)
{
    struct TWait {
        bool Done = false;
        QString Answer;
        QEventLoop* Loop = nullptr;
    };
    auto wait = std::make_shared<TWait>();
    const bool outermost = !FBusy;
    FBusy = true;
    Page()->runJavaScript(ExchangeScript(steps), [wait](const QVariant& value) {
        wait->Done = true;
        wait->Answer = value.toString();
        if (wait->Loop)
            wait->Loop->quit();
    });
    if (!wait->Done) {
        QEventLoop loop;
        wait->Loop = &loop;
        QTimer::singleShot(AnswerTimeoutMs, &loop, &QEventLoop::quit);
        QMetaObject::Connection ended =
            connect(Page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        disconnect(ended);
        wait->Loop = nullptr;
    }
    if (outermost) {
        FBusy = false;
        if (!FDeferred.empty())
            QTimer::singleShot(0, this, [this] { HandOnDeferred(); });
    }
    if (!wait->Done)
        throw EMarksError("The map page did not answer.");
    return ReadExchangeAnswer(wait->Answer);
}
