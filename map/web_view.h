#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the map view needs from a web view: loading the page, the navigation
// reports, and exchanges with the page's script and forms. The program uses Qt
// WebEngine (TWebEngineView); tests use a fake that records every script text.

using TFrameId = quint64;

// One element of a form: its name (INPUT, SELECT and TEXTAREA elements) or id
// (any other element), and its value (empty for elements without one).
struct TFormField {
    QString Name;
    QString Value;
    // Set by a read with a stash key when a long value is the one the previous read
    // of that key returned; Value is then empty.
    bool Unchanged = false;
};

struct TForm {
    QString Name;
    std::vector<TFormField> Fields;
};

// What a read of the document found: the names of all its forms in document
// order, and for each form asked for (found by name, letter case ignored) its
// fields, or nothing when the document has no such form.
struct TFormsRead {
    QStringList FormNames;
    std::vector<std::optional<TForm>> Forms;
};

// One step of an exchange with the page.
struct TPageStep {
    enum TKind { skScript, skReadForms, skWriteField, skCall };
    TKind Kind = skScript;
    QString Text;      // skScript: the JavaScript text, run in the page's global scope;
                       // skCall: the name of a function of the page
    QStringList Forms; // skReadForms: the forms whose fields are wanted
    QString Form;      // skWriteField: form, field (names, letter case ignored) and value;
    QString Field;     // a form that does not exist is left alone, as is a field that is
    QString Value;     // not an INPUT, SELECT or TEXTAREA element
    // skReadForms: when set, long values are remembered in the page under this key,
    // and with Known a value equal to the remembered one comes back as Unchanged
    // instead of being sent again (the reader holds it from the previous read).
    QString StashKey;
    bool Known = false;
    // skCall: the arguments, JavaScript values separated by commas, that this program
    // built. They travel as code, not as a text the page evaluates: megabytes of
    // marks in a string literal are parsed once and not escaped a second time. A
    // text that does not parse fails the whole exchange.
    QString Arguments;

    static TPageStep Script(const QString& text) { return {skScript, text, {}, {}, {}, {}, {}, false, {}}; }
    static TPageStep Read(const QStringList& forms, const QString& stashKey = {}, bool known = false)
    {
        return {skReadForms, {}, forms, {}, {}, {}, stashKey, known, {}};
    }
    static TPageStep Write(const QString& form, const QString& field, const QString& value)
    {
        return {skWriteField, {}, {}, form, field, value, {}, false, {}};
    }
    static TPageStep Call(const QString& function, const QString& arguments)
    {
        return {skCall, function, {}, {}, {}, {}, {}, false, arguments};
    }
};

// The outcome of an exchange: one entry per read step that ran, in order; when a
// script raised an error, its message and the step's position (later steps did
// not run).
struct TPageResult {
    std::vector<TFormsRead> Reads;
    std::optional<QString> Error;
    int FailedStep = -1;
};

class TWebView : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether the view holds a document the page text can be loaded into.
    virtual bool HasDocument() const = 0;
    // Navigates to "about:blank".
    virtual void NavigateBlank() = 0;
    // Loads the HTML text into the current document, without an address.
    virtual void LoadContent(const QString& html) = 0;
    // Runs the steps in the page in one round trip and returns after the page ran
    // them. Synchronous: no user input and no navigation report is handled
    // meanwhile. Throws EMarksError when the page cannot be reached at all.
    virtual TPageResult Exchange(const std::vector<TPageStep>& steps) = 0;
    // Whether an exchange is under way. Waiting for the page lets timers fire; a
    // timer's work that would talk to the page checks this first.
    bool Busy() const { return FBusy; }

signals:
    void NavigationStarted();
    void NavigateComplete(TFrameId frame);
    void DocumentComplete(TFrameId frame);

protected:
    bool FBusy = false;
};
