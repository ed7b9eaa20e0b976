// Component images (footprints) with their pins, outlines, keepouts,
// conductors and vias, and the placed instances of images: what each reads
// from a design file and how each instance becomes a host component with its
// pads on their nets.
#pragma once

#include "board/Pcbclass.h"
#include "geometry/SpecctraShapes.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "specctra/SpecctraClasses1.h"

#include <cstdint>
#include <forward_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TSpecctraComponentInstance;
class TSpecctraPadstack;
class TSpecctraPad;

enum TSpecctraBoardSide : uint8_t {
    eFrontSide = 0,
    eBackSide = 1,
    eBothSides = 2,
};
using TSpecctraCompPlacementSide = TSpecctraBoardSide; // front or back only

enum TSpecctraMirror : uint8_t {
    eNoMirror = 0,
    eMirrorAroundX = 1,
    eMirrorAroundY = 2,
    eMirrorAroundXY = 3,
};

enum TSpecctraComponentStatus : uint8_t {
    eCompStatusNone = 0,
    eCompAdded = 1,
    eCompDeleted = 2,
    eCompSubstituted = 3,
};

enum TSpecctraLockType : uint8_t {
    eLockTypeNone = 0,
    eLockTypePosition = 1,
    eLockTypeGate = 2,
    eLockTypeSubgate = 3,
    eLockTypePin = 4,
};

// The most pins one pin array may expand to; a larger array is refused.
constexpr int64_t kMaxPinArrayPins = 100000;

class TSpecctraCompImage;

// What the components of one placement share while they are written: the
// image the last one named, and the component record and designator text a
// new component comes with, as the engine answered them for the first (the
// same for every new component but the handles).
struct TPlacementMemo {
    std::string ImageName;
    TSpecctraCompImage* Image = nullptr;
    std::optional<TPcbComponent> Component;
    std::optional<TPcbText> Designator;
};

// A piece of copper of an image ("conductor"): written like a wire on its
// layer into the image's component, without a net (the host gives it the net
// of the pads it touches afterwards).
class TSpecctraImageConductor : public TSpecctraCombinedShape, public IShapeOwner {
public:
    explicit TSpecctraImageConductor(TSpecctraObject* owner) : TSpecctraCombinedShape(owner) {}
    const char* ClassName() const override { return "TSpecctraImageConductor"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eWire; }
    intptr_t ShapeContainer() override;
    bool ImportFromFile() override;
};

// One pin of an image: a padstack at a position, with a rotation.
class TSpecctraCompPin : public TSpecctraObject {
public:
    explicit TSpecctraCompPin(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraCompPin"; }

    // Entered after "pin". Expands a pin array into the image's pin list.
    bool ImportFromFile() override;
    // One host pad in the component of the image being built.
    bool ExportToPCB() override;
    void BoundingRectangle(double& lx, double& ly, double& hx, double& hy);
    // The component's designator, "-" and the pin id ("U1-3").
    std::string FullPinName() const;
    // Whether the pin read was a pin array (its copies are in the image).
    bool WasArray() const { return FWasArray; }
    // Most pins of an image share a few padstacks: a pin that names the
    // padstack `previous` found takes it without a look-up.
    void TakePadstackOf(const TSpecctraCompPin* previous);
    // Whether a look-up found the pin's padstack.
    bool PadstackFound() const { return FPadstack != nullptr; }

    // The padstack the pin names.
    const std::string& PadStackIDRef() const { return *FPadStackName; }
    void SetPadStackIDRef(std::string_view name);
    double Rotation = 0.0;
    TVertex Position;
    std::vector<std::pair<std::string, std::string>> UserPropertyList;

private:
    TSpecctraCompImage* Image() const;
    TSpecctraPadstack* FindPadstack() const;
    bool ReadArray();
    void SetPadSizes(TPcbPad& pad, TSpecctraPadstack& padstack, TPinPadReports& reports,
                     std::vector<TTrueCopperSource>& trueCopper);
    // Gives the engine the true copper of the pad at `handle` centred at
    // (cx, cy) from the pin, beside its record. With a memo (a template's),
    // the pieces of a pin at the rotation of the last are not made again.
    void AttachTrueCopper(intptr_t handle, const std::vector<TTrueCopperSource>& sources, double cx,
                          double cy, TTrueCopperMemo* memo = nullptr);
    void ReportPadSizes(const TSpecctraPadstack& padstack, const TPinPadReports& reports,
                        const std::string& fullName) const;
    void AssignNet(TPcbPad& pad, const std::string& fullName);
    bool ExportFromTemplate(TPinPadTemplate& pinPad, TSpecctraPadstack& padstack,
                            const std::string& fullName);
    bool FWasArray = false;
    // The image the pin belongs to (its owner), or null.
    TSpecctraCompImage* FImage;
    // The padstack's name: the image's copy, else the pin's own.
    std::string FOwnPadStackName;
    const std::string* FPadStackName = &FOwnPadStackName;
    // The padstack, found once.
    mutable TSpecctraPadstack* FPadstack = nullptr;
};

// A footprint: outline, pins, keepouts, conductors and vias, and the sides it
// may be placed on.
class TSpecctraCompImage : public TSpecctraObject, public IShapeOwner {
public:
    explicit TSpecctraCompImage(TSpecctraObject* owner);
    ~TSpecctraCompImage() override;
    const char* ClassName() const override { return "TSpecctraCompImage"; }
    // Outlines land on the top overlay in the component being built.
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eComponentImage; }
    intptr_t ShapeContainer() override { return HarrowHandle; }

    bool ImportFromFile() override;
    // Builds one host component (HarrowHandle) for TranslCompInst, at the
    // board origin.
    bool ExportToPCB() override;
    bool ImportFromPcb() override { return false; }
    bool ExportToFile() override { return false; }

    // Around the pins, conductors and keepouts; all 0 when there is nothing.
    void BoundingRectangle(double& lx, double& ly, double& hx, double& hy);
    // How far from the component's position, in host units, any pin or shape
    // of the image may lie, whatever the rotation (found once).
    double HostReach();
    int32_t PinCount() const { return PinList->Count(); }
    TSpecctraCompPin* GetState_Pin(int32_t index) const;
    // The name a pin gives its padstack, kept for the pin as long as the
    // image: pins that name one of the last few names kept share its copy.
    const std::string& KeepPadstackName(std::string_view name);

    TSpecctraBoardSide Side = eBothSides;
    std::unique_ptr<TSpecctraAbstractGeometryShape> Outline;
    std::unique_ptr<TSpecctraList> PinList;
    std::unique_ptr<TSpecctraList> EmbededConductorShapeList;
    std::unique_ptr<TSpecctraList> EmbededViaList;
    std::unique_ptr<TSpecctraList> PlacementRuleList;
    std::unique_ptr<TSpecctraList> KeepoutList;
    std::unique_ptr<TSpecctraList> Properties;
    TSpecctraComponentInstance* TranslCompInst = nullptr;
    // What the components of TranslCompInst's placement share, or null.
    TPlacementMemo* PlacementMemo = nullptr;
    // The component last built, as written and read back.
    std::unique_ptr<TPcbComponent> Built;

private:
    bool ReadOutline();
    void ExportOutline();
    bool ReadPin();
    bool ReadConductor();
    bool ReadKeepout();
    bool ReadVia();
    void SkipRestOfBlock();
    void EnsureOutline();
    // The outline's tracks as its first export wrote them, when that export
    // reported nothing and made nothing but tracks: every later component of
    // the image adds copies (the engine places them with the component).
    std::vector<PcbApiNewTrack> FOutlineTracks;
    // Newest first: an image without pins holds none.
    std::forward_list<std::string> FPadstackNames;
    bool FOutlineKept = false;
    bool FOutlineTried = false;
    double FHostReach = -1.0;
};

// One placed component: designator, image, position, side and rotation.
class TSpecctraComponentInstance : public TSpecctraObject {
public:
    explicit TSpecctraComponentInstance(TSpecctraObject* owner);
    const char* ClassName() const override { return "TSpecctraComponentInstance"; }

    // Entered after "place", with ImageRefID set.
    bool ImportFromFile() override;
    bool ExportToPCB() override;
    // The same as one of a placement's components.
    bool ExportToPCB(TPlacementMemo& memo);
    // The position, or one inch in the instance's unit while none was read.
    double X();
    double Y();

    // The image the component names; the components of one placement block
    // share one copy of its name.
    const std::string& ImageRefID() const;
    void SetImageRefID(std::shared_ptr<const std::string> name) { FImageName = std::move(name); }
    TVertex Position;
    TSpecctraCompPlacementSide Side = eFrontSide;
    double Rotation = 0.0;
    TSpecctraMirror Mirror = eNoMirror;
    TSpecctraComponentStatus Status = eCompStatusNone;
    std::string LogicalPartID;
    std::unique_ptr<TSpecctraList> PlacementRules;
    std::unique_ptr<TSpecctraList> Properties;
    TSpecctraLockType LockType = eLockTypeNone;
    std::string PartNumber;
    bool OutsideBoundary = true;

private:
    bool ReadPosition();
    double OneInch();
    std::shared_ptr<const std::string> FImageName;
};

// The rotation as the host takes it: in [0, 360); false (and 0) for a value
// that is not a finite number.
bool NormalizedRotation(double degrees, double& normalized);
