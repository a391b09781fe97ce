#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "gm_linked.h"
#include "gm_types.h"

struct TStyledMarker {
    TStyledIcon StyledIcon = siMarker;
    bool ShowStar = false;
    TColor BackgroundColor = clRed;
    TColor TextColor = clBlack;
    TColor StarColor = clLime;
    bool operator==(const TStyledMarker&) const = default;
};

struct TColoredMarker {
    int Width = 32;
    int Height = 32;
    TColor PrimaryColor = clRed;
    TColor StrokeColor = clBlack;
    TColor CornerColor = clWhite;
    bool operator==(const TColoredMarker&) const = default;
};

// The marker properties the editor window leaves as they are defined.
struct TMarkerOptions {
    TMarkerType MarkerType = mtStandard;
    bool AnimationOnDrop = false;
    bool AnimationBounce = false;
    bool Clickable = true;
    bool Draggable = false;
    bool Flat = false;
    bool Optimized = true;
    bool RaiseOnDrag = true;
    // A picture file name or address; empty for the standard picture.
    QString Icon;
    bool CrossOnDrag = true;
    bool ShowInfoWinMouseOver = false;
    TStyledMarker StyledMarker;
    TColoredMarker ColoredMarker;
    bool operator==(const TMarkerOptions&) const = default;
};

class TGMMarker;

// A marker item. A change of Position (either coordinate), Title, Visible or the
// options sends the marker.
class TMarker : public TLinkedComponent {
public:
    explicit TMarker(TGMMarker& owner);

    TLatLng Position;
    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& value) { Change(FTitle, value); }
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Change(FVisible, value); }
    const TMarkerOptions& Options() const { return FOptions; }
    void SetOptions(const TMarkerOptions& value) { Change(FOptions, value); }
    // Takes a position the page reports without sending it back.
    void TakePosition(double lat, double lng);

    // The 28 values of MakeMarker.
    QString MakeParams() const;
    bool ChangeProperties() override;

private:
    QString FTitle = QStringLiteral("TMarker");
    bool FVisible = true;
    TMarkerOptions FOptions;
    bool FTakingPosition = false;

    QString IconAddress() const;
};

class TGMMarker : public TGMLinkedComponent {
public:
    TGMMarker() : TGMLinkedComponent(TComponentKind::Marker) {}

    std::vector<std::unique_ptr<TMarker>> VisualObjects;
    TMarker& Add();
    size_t Count() const override { return VisualObjects.size(); }
    TLinkedComponent& Item(size_t index) override { return *VisualObjects.at(index); }

protected:
    void TakeItemEvent(const QString& event, double lat, double lng, TLinkedComponent& item) override;
};
