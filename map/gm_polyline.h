#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "gm_linked.h"
#include "gm_types.h"

class TLinePoints;

// A point of a line or area. Setting a coordinate to a different value notifies
// the owning item.
class TLinePoint {
public:
    explicit TLinePoint(TLinePoints& owner) : FOwner(&owner) {}
    double Lat() const { return FLat; }
    double Lng() const { return FLng; }
    void SetLat(double value);
    void SetLng(double value);

private:
    TLinePoints* FOwner;
    double FLat = 0;
    double FLng = 0;
};

// The point list of a line or area; Clear, Add and every coordinate change call
// the change notification.
class TLinePoints {
public:
    explicit TLinePoints(std::function<void()> changed) : FChanged(std::move(changed)) {}
    void Clear();
    // A new point at 0, 0.
    TLinePoint& Add();
    size_t Count() const { return FPoints.size(); }
    const TLinePoint& operator[](size_t index) const { return FPoints.at(index); }
    TLinePoint& operator[](size_t index) { return FPoints.at(index); }
    std::vector<TGeoPoint> Points() const;
    void Changed() { FChanged(); }

private:
    std::deque<TLinePoint> FPoints;
    std::function<void()> FChanged;
};

// Stroke and behaviour shared by lines and areas. Opacities are kept within 0 to 1
// and cut to two decimals; the weight is kept within 1 to 10.
struct TLineStyle {
    bool Clickable = true;
    bool Editable = false;
    bool Geodesic = false;
    TColor StrokeColor = clBlack;
    double StrokeOpacity = 1;
    int StrokeWeight = 2;
    // Take path changes the page reports (the poll's path check).
    bool AutoUpdatePath = true;
    bool operator==(const TLineStyle&) const = default;
};

double CutOpacity(double value);

class TGMBasePolyline;

// A line or area item.
class TBasePolyline : public TLinkedComponent {
public:
    explicit TBasePolyline(TGMBasePolyline& owner);

    TLinePoints LinePoints;
    const TLineStyle& Style() const { return FStyle; }
    void SetStyle(TLineStyle value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value) { Change(FVisible, value); }

    // Replaces the points and sends the item once, with its whole path.
    void SetPath(const std::vector<TGeoPoint>& points);
    // The path check: asks the page for the item's path and takes it when it
    // differs from the item's points.
    void ReadPathBack();
    // The path check on a path text the page reported ("lat|lng;..."). Raises
    // "<part> is not a valid real value" for a part that is not a number.
    void TakePathText(const QString& text);
    // Fits the map's view to the item's points.
    void ZoomToPoints();
    // Whether the points are those of the path text the poll last took from the
    // page (so an unchanged text need not travel again); any change clears it.
    bool PathKnown() const { return FPathKnown; }
    void SetPathKnown() { FPathKnown = true; }

protected:
    TLineStyle FStyle;
    bool FVisible = true;
    bool FUpdatingPath = false;
    bool FPathKnown = false;

    void PathChanged();
    bool SamePath(const QList<QStringView>& pieces) const;
};

struct TIconValue {
    int Value = 0;
    TMeasure Measure = mPixels;
    bool operator==(const TIconValue&) const = default;
};

struct TSymbol {
    TSymbolPath Path = spNONE;
    TColor FillColor = clRed;
    double FillOpacity = 0;
    TColor StrokeColor = clRed;
    double StrokeOpacity = 0;
    int StrokeWeight = 0;
    bool operator==(const TSymbol&) const = default;
};

struct TIconSequence {
    TIconValue OffSet{100, mPercentage};
    TIconValue DistRepeat{0, mPixels};
    TSymbol Icon;
    bool operator==(const TIconSequence&) const = default;
};

struct TCurveLine {
    bool Active = false;
    bool Horizontal = true;
    int Multiplier = 1;
    double Resolution = 0.1;
    bool operator==(const TCurveLine&) const = default;
};

class TGMPolyline;
class TGMPolygon;

class TPolyline : public TBasePolyline {
public:
    explicit TPolyline(TGMPolyline& owner);
    const TIconSequence& Icon() const { return FIcon; }
    void SetIcon(const TIconSequence& value) { Change(FIcon, value); }
    const TCurveLine& CurveLine() const { return FCurveLine; }
    void SetCurveLine(const TCurveLine& value) { Change(FCurveLine, value); }

    // The 28 values of MakePolyline.
    QString MakeParams() const;
    bool ChangeProperties() override;

private:
    TIconSequence FIcon;
    TCurveLine FCurveLine;
};

class TPolygon : public TBasePolyline {
public:
    explicit TPolygon(TGMPolygon& owner);
    TColor FillColor() const { return FFillColor; }
    void SetFillColor(TColor value) { Change(FFillColor, value); }
    double FillOpacity() const { return FFillOpacity; }
    void SetFillOpacity(double value) { Change(FFillOpacity, CutOpacity(value)); }

    // The 18 values of MakePolygon.
    QString MakeParams() const;
    bool ChangeProperties() override;

private:
    TColor FFillColor = clRed;
    double FFillOpacity = 0.5;
};

class TGMBasePolyline : public TGMLinkedComponent {
public:
    using TGMLinkedComponent::TGMLinkedComponent;
    // Called after the path check replaced an item's points.
    std::function<void(TBasePolyline& item)> OnPathChange;
    TBasePolyline& Line(size_t index) { return static_cast<TBasePolyline&>(Item(index)); }
};

class TGMPolyline : public TGMBasePolyline {
public:
    TGMPolyline() : TGMBasePolyline(TComponentKind::Polyline) {}
    std::vector<std::unique_ptr<TPolyline>> VisualObjects;
    TPolyline& Add();
    size_t Count() const override { return VisualObjects.size(); }
    TLinkedComponent& Item(size_t index) override { return *VisualObjects.at(index); }
};

class TGMPolygon : public TGMBasePolyline {
public:
    TGMPolygon() : TGMBasePolyline(TComponentKind::Polygon) {}
    std::vector<std::unique_ptr<TPolygon>> VisualObjects;
    TPolygon& Add();
    size_t Count() const override { return VisualObjects.size(); }
    TLinkedComponent& Item(size_t index) override { return *VisualObjects.at(index); }
};
