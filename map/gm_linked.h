#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <optional>

#include "gm_messages.h"
#include "web_view.h"

class TGMMap;
class TLinkedComponent;

enum class TComponentKind { Marker, Polyline, Polygon };

// An overlay component: a collection of items that it puts on the map view's page.
// Attaching it to a map view gives it its id, which travels to the page with every
// item and comes back with the page's events.
class TGMLinkedComponent {
public:
    explicit TGMLinkedComponent(TComponentKind kind) : FKind(kind) {}
    virtual ~TGMLinkedComponent();
    TGMLinkedComponent(const TGMLinkedComponent&) = delete;
    TGMLinkedComponent& operator=(const TGMLinkedComponent&) = delete;

    TComponentKind Kind() const { return FKind; }
    // Makes the items again on the page whenever the map is created.
    bool AutoUpdate = true;
    // Used for messages while the component has no map view.
    TLang Language = TLang::Russian;
    // Called for each item event the poll passes on, after its checks.
    std::function<void(TGMLinkedComponent& sender, const QString& event, double lat, double lng, int index)>
        OnItemEvent;

    TGMMap* Map() const { return FMap; }
    void SetMap(TGMMap* map);
    int ObjectId() const { return FObjectId; }

    virtual size_t Count() const = 0;
    virtual TLinkedComponent& Item(size_t index) = 0;
    int IndexOf(const TLinkedComponent* item);

    // Runs a page function only while the map view is active and its page has
    // loaded; nothing (and no error) otherwise. Returns the read of the forms asked
    // for, taken right after the call.
    std::optional<TFormsRead> ScriptCall(const QString& name, const QString& params, const QStringList& forms = {});
    // Sends an item with one of the Make functions; raises message 5 when the live
    // page reports that it found no such object. Whether the call ran.
    bool SendItem(const QString& name, const QString& params);
    // Removes this component's objects from the page and sends every item again.
    void RecreateAll();
    // An event of one of the items, as the poll passes it: latitude, longitude and
    // item index. Checks the values (messages 8, 9, 10), then calls OnItemEvent.
    void TakeEvent(const QString& event, const QVariantList& values);

    [[noreturn]] void RaiseMessage(int number) const;
    // The map view is going away.
    void MapDestroyed() { FMap = nullptr; }

protected:
    // What the component does with an item event before its handler runs.
    virtual void TakeItemEvent(const QString& event, double lat, double lng, TLinkedComponent& item);

private:
    TComponentKind FKind;
    TGMMap* FMap = nullptr;
    int FObjectId = 0;
};

struct TPixelOffset {
    int Height = 0;
    int Width = 0;
    bool operator==(const TPixelOffset&) const = default;
};

// An item's info window. With empty content the page never opens it.
struct TBaseInfoWindow {
    QString HTMLContent;
    bool DisableAutoPan = false;
    int MaxWidth = 0;
    TPixelOffset PixelOffset;
    bool CloseOtherBeforeOpen = true;
    bool operator==(const TBaseInfoWindow&) const = default;
};

// One item of an overlay component. Every property setting that changes a value
// sends the item to the page; an equal value sends nothing.
class TLinkedComponent {
public:
    explicit TLinkedComponent(TGMLinkedComponent& owner) : FOwner(owner) {}
    virtual ~TLinkedComponent() = default;
    TLinkedComponent(const TLinkedComponent&) = delete;
    TLinkedComponent& operator=(const TLinkedComponent&) = delete;

    TGMLinkedComponent& Owner() const { return FOwner; }
    // The item's position in its component, which travels to the page as its index.
    int Index() const { return FOwner.IndexOf(this); }

    const TBaseInfoWindow& InfoWindow() const { return FInfoWindow; }
    void SetInfoWindow(const TBaseInfoWindow& value) { Change(FInfoWindow, value); }

    // Sends the item to the page when its component is attached to a map view;
    // whether the call ran.
    virtual bool ChangeProperties() = 0;

protected:
    template <class T>
    void Change(T& stored, const T& value)
    {
        if (stored == value)
            return;
        stored = value;
        ChangeProperties();
    }
    // The info window's six values as the Make functions take them.
    QString InfoWindowParams() const;

private:
    TGMLinkedComponent& FOwner;
    TBaseInfoWindow FInfoWindow;
};
