#include "web_engine_view.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

#include "marks_error.h"

namespace {

// The page of the map panel: the map page and the blank page are the only
// documents it shows.
class TMapPanelPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (isMainFrame && type == NavigationTypeLinkClicked) {
            QDesktopServices::openUrl(url);
            return false;
        }
        return true;
    }

    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
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
  function read(wanted) {
    var out = { names: [], forms: [] };
    for (var i = 0; i < document.forms.length; i++) out.names.push(document.forms[i].getAttribute('name') || '');
    for (var j = 0; j < wanted.length; j++) {
      var form = findForm(wanted[j]);
      if (!form) { out.forms.push(null); continue; }
      var fields = [];
      for (var k = 0; k < form.elements.length; k++) {
        var el = form.elements[k];
        fields.push([nameOf(el), valued(el) ? String(el.value) : '']);
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
    if (s.k === 0) {
      try { (0, eval)(s.t); } catch (e) {
        result.error = e && e.message !== undefined ? String(e.message) : String(e);
        result.failed = i;
        break;
      }
    } else if (s.k === 1) {
      result.reads.push(read(s.f));
    } else {
      write(s.f, s.n, s.v);
    }
  }
  return JSON.stringify(result);
})()JS";

} // namespace

QString ExchangeScript(const std::vector<TPageStep>& steps)
{
    QJsonArray list;
    for (const TPageStep& step : steps) {
        QJsonObject item{{"k", int(step.Kind)}};
        switch (step.Kind) {
        case TPageStep::skScript:
            item["t"] = step.Text;
            break;
        case TPageStep::skReadForms:
            item["f"] = QJsonArray::fromStringList(step.Forms);
            break;
        case TPageStep::skWriteField:
            item["f"] = step.Form;
            item["n"] = step.Field;
            item["v"] = step.Value;
            break;
        }
        list.append(item);
    }
    return QString::fromLatin1(kExchangeScript) + QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)) +
           QStringLiteral(")");
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
                form.Fields.push_back({field[0].toString(), field[1].toString()});
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

TWebEngineView::TWebEngineView(QWidget* parent, QWebEngineProfile* profile) : FView(new QWebEngineView(parent))
{
    setParent(FView);
    auto* page = new TMapPanelPage(profile ? profile : QWebEngineProfile::defaultProfile(), FView);
    FView->setPage(page);
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
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
