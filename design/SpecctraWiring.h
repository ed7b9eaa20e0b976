// The "wiring" section of a design: pre-routed wires, vias, bond sites and
// test points; the routed nets and test points of route and session files;
// and the via numbers kept in the board between an import and an export.
#pragma once

#include "board/BoardFacade.h"
#include "design/FileSection.h"
#include "geometry/SpecctraShapes.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// ------------------------------------------------------------ via numbers

// One via number at a position: the via (none when read back from the
// board), its number and its position.
struct TViaTagInfo {
    TSpecctraObject* Via = nullptr;
    uint8_t Number = 0;
    double X = 0.0;
    double Y = 0.0;
};

// Via numbers by location, in the order they were added.
class TTaggedVias {
public:
    // The highest via number kept in the board.
    static constexpr int kMaxStoredNumber = 127;

    void AddViaTag(TSpecctraObject* via, uint8_t number, double x, double y);
    // The first record added at exactly that position, or none.
    const TViaTagInfo* FindTagForLocation(double x, double y) const;
    const std::vector<TViaTagInfo>& Items() const { return FItems; }
    std::size_t Count() const { return FItems.size(); }

private:
    struct TKeyHash {
        std::size_t operator()(const std::pair<double, double>& key) const noexcept;
    };
    std::vector<TViaTagInfo> FItems;
    // Position -> index of the first record there.
    std::unordered_map<std::pair<double, double>, std::size_t, TKeyHash> FFirstAt;
};

// The storage key of via number n: "Type=ViaTag|ID=n".
std::string ViaTagKey(int number);

// Stores the via numbers in the board, one record a number that has vias:
// "C" their count and "X<i>", "Y<i>" the positions as hexadecimal text. The
// positions are board positions. Answers the number of records written.
int StoreViaTags(intptr_t board, const std::vector<TViaTagInfo>& boardPositions);

// Reads every stored via-number record (numbers 1 to 127) back; a missing or
// unreadable coordinate reads as 0.
TTaggedVias ReadStoredViaTags(intptr_t board);

// ------------------------------------------------------------ wires

class TSpecctraConnection;
struct TBoardTrack;

// Copper that a wiring section carries: its shapes are written to the board
// on the conductor's net, into its owner's container.
class TSpecctraEmbededConductor : public TSpecctraCombinedShape, public IShapeOwner {
public:
    explicit TSpecctraEmbededConductor(TSpecctraObject* owner) : TSpecctraCombinedShape(owner) {}
    const char* ClassName() const override { return "TSpecctraEmbededConductor"; }
    TShapeOwnerRole ShapeOwnerRole() const override { return TShapeOwnerRole::eWire; }
    // The owner's board object when it is not the board (a component), else 0.
    intptr_t ShapeContainer() override;
};

// Routing types of wires and vias.
enum TSpecctraWireType : uint8_t {
    eWireType_None = 0,
    eWireType_Fix = 1,
    eWireType_Route = 2,
    eWireType_Normal = 3,
    eWireType_Protect = 4,
};

class TSpecctraWire : public TSpecctraEmbededConductor {
public:
    explicit TSpecctraWire(TSpecctraObject* owner);
    ~TSpecctraWire() override;
    const char* ClassName() const override { return "TSpecctraWire"; }
    const std::string& ShapeNetName() const override { return NetName; }
    // Fixed, route and protect wires become tracks that may not move.
    bool ShapeMoveable() const override;

    // (wire SHAPE ...); the keyword has been read.
    bool ImportFromFile() override;
    // The board track of HarrowHandle: one path of two points on the track's
    // layer with its width; a track that may not move is a "route" wire.
    bool ImportFromPcb() override;
    // Refills the wire from a track already read (its path is reused).
    void LoadTrack(const TBoardTrack& track, const std::string& layerName);
    // "(wire " and the shape, "(type ...)" for fixed, route and protect.
    bool ExportToFile() override;
    // The primary shape to the board.
    bool ExportToPCB() override;

    std::string NetName;
    uint8_t Type = eWireType_None;
    int32_t Turret = -1;
    std::string ShieldNet;
    bool Supply = false;
    std::unique_ptr<TSpecctraConnection> Connection;

    // "fixed", "route", "normal", "protect" for 1 .. 4; empty otherwise.
    static const char* TypeName(uint8_t type);

private:
    bool ReadType();
    void SetTurret(int32_t value);
    TSpecctraPolyLineShape* FBoardPath = nullptr;
};

// ------------------------------------------------------------ bond sites, test points

class TSpecctraBondSite : public TSpecctraObject {
public:
    explicit TSpecctraBondSite(TSpecctraObject* owner) : TSpecctraObject(owner) {}
    const char* ClassName() const override { return "TSpecctraBondSite"; }

    // (bond PIN PADSTACK X Y [front|back]); the keyword has been read.
    bool ImportFromFile() override;

    std::string PinReference;
    std::string PadstackName;
    TVertex Position;
    uint8_t Side = 0; // front 0, back 1
};

class TSpecctraTestPoint : public TSpecctraObject {
public:
    enum : uint8_t { eFront = 0, eBack = 1 };

    explicit TSpecctraTestPoint(TSpecctraObject* owner) : TSpecctraObject(owner) {}
    const char* ClassName() const override { return "TSpecctraTestPoint"; }

    // (point X Y [front|back] [(net NAME)] [(type route|normal|protect)]);
    // the keyword has been read.
    bool ImportFromFile() override;
    // One line: "(point X Y side (net NAME)(type ...))".
    bool ExportToFile() override;

    TVertex Position;
    uint8_t Side = eFront;
    std::string NetName;
    uint8_t Type = 0; // route 2, normal 3, protect 4

private:
    bool ReadSubBlock();
};

// The test points of a route or session file, collected from the board's
// test-point pads and vias.
class TSpecctraTestpointsDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraTestpointsDescriptor(TSpecctraObject* owner);
    ~TSpecctraTestpointsDescriptor() override;
    const char* ClassName() const override { return "TSpecctraTestpointsDescriptor"; }

    bool ImportFromPcb() override;
    bool ExportToFile() override;

    TSpecctraList& TestPoints() { return *FTestPoints; }

private:
    std::unique_ptr<TSpecctraList> FTestPoints;
};

// ------------------------------------------------------------ wiring sections

class TSpecctraAbstractWiringDescriptor : public TSpecctraFileSectionDescriptor {
public:
    explicit TSpecctraAbstractWiringDescriptor(TSpecctraObject* owner);
    ~TSpecctraAbstractWiringDescriptor() override;
    const char* ClassName() const override { return "TSpecctraAbstractWiringDescriptor"; }

    // The lists, created on first use.
    TSpecctraList& Wires() { return OnDemand(FWires); }
    TSpecctraList& Vias() { return OnDemand(FVias); }
    TSpecctraList& BondSites() { return OnDemand(FBondSites); }
    TSpecctraList& TestPoints() { return OnDemand(FTestPoints); }
    TTaggedVias& TaggedVias();
    bool HasWires() const { return FWires && FWires->Count() > 0; }
    bool HasVias() const { return FVias && FVias->Count() > 0; }

    bool HasOwnResolution = false;
    // For a routed net: the board net it was read from.
    intptr_t NetHandle = 0;

protected:
    TSpecctraList& OnDemand(std::unique_ptr<TSpecctraList>& list);
    // Members go bottom up: the tagged vias refer to the vias.
    std::unique_ptr<TSpecctraList> FWires;
    std::unique_ptr<TSpecctraList> FVias;
    std::unique_ptr<TSpecctraList> FBondSites;
    std::unique_ptr<TSpecctraList> FTestPoints;
    std::unique_ptr<TTaggedVias> FTaggedVias;
};

class TKeywordTable;
class TSpecctraParser;
struct TReadPoint;

// The design file's "wiring" section.
//
// A large design holds far more wires and vias than anything else, and their
// model objects take several times the memory of their text. So in a large
// file each wire and via is read, its reports made, and dropped at once; the
// section keeps a copy of its text and where each object starts in it, and
// ExportToPCB reads each object again, without reports, writes it to the
// board and frees it before the next. While the components are written the
// text waits in a temporary file (in memory when there is none to be had),
// and is read back a piece at a time. The board gets the same objects in the
// same order, and the report the same lines, as when the objects are kept.
class TSpecctraDSNWiringDescriptor : public TSpecctraAbstractWiringDescriptor {
public:
    explicit TSpecctraDSNWiringDescriptor(TSpecctraObject* owner);
    ~TSpecctraDSNWiringDescriptor() override;
    const char* ClassName() const override { return "TSpecctraDSNWiringDescriptor"; }

    // The text is copied in pieces of about this size, each freed once its
    // objects are on the board.
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
    // Objects are read again only from files of at least this size: in a
    // smaller one the memory they take is no matter, and keeping them is
    // quicker.
    static constexpr std::size_t kReadAgainFromBytes = std::size_t{8} << 20;

    // Off: every wire and via read is kept in Wires() and Vias() until
    // ExportToPCB. On: they are read again from files (the one the section
    // is in) of at least `fromBytes`. Set before the section is read.
    void SetReadAgainFromText(bool on, std::size_t fromBytes = kReadAgainFromBytes,
                              std::size_t pieceBytes = kPieceBytes) {
        FReadAgain = on;
        FReadAgainFromBytes = fromBytes;
        FPieceBytes = pieceBytes;
    }
    // The wires and vias waiting to be written, whichever way they are held.
    std::size_t PendingWires() const;
    std::size_t PendingVias() const;

    bool ImportFromFile() override;
    // Wires and vias to the board, then the via numbers into the board's
    // storage; under the section's own resolution when it had one.
    bool ExportToPCB() override;

private:
    // One wire or via to write: where its text starts in copy FCopies[Copy]
    // with the reader's state there, or (Copy == kWhole) the index of the
    // object kept whole in FWhole.
    struct TPending {
        uint32_t Offset = 0;
        int32_t Line = 0;
        uint16_t Copy = 0;
        uint8_t Previous = 0;
        uint8_t Current = 0;
        uint8_t Quote = 0;
        uint8_t Units = 0;
        bool ConversionFailed = false;
    };
    static constexpr uint16_t kWhole = 0xFFFF;
    // A piece of a wiring section's text with a reader over it, while it is
    // in memory; Start is where it began in the design file, Waiting how many
    // of its objects are not on the board yet. A piece kept in the temporary
    // file lies at SpillOffset there, Length bytes long.
    struct TTextCopy {
        std::unique_ptr<TSpecctraParser> Reader;
        std::size_t Start = 0;
        std::size_t Waiting = 0;
        bool Spilled = false;
        uint64_t SpillOffset = 0;
        std::size_t Length = 0;
    };
    struct TCloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool ReadBlocks();
    bool ReadTestPoints();
    bool ReadWire();
    bool ReadVia();
    bool ReadBondSite();
    // After an object read well from `point` on: notes where it starts, or
    // keeps it whole when its text cannot be read again alone.
    void Remember(std::unique_ptr<TSpecctraObject> object, const TReadPoint& point, bool keepWhole,
                  std::vector<TPending>& pending);
    // Copies the piece of text noted so far, up to `end` and a little past
    // it (the reader looks a few characters ahead, as it did in the file).
    void CopyPiece(std::size_t end);
    // Writes a piece's text to the temporary file; false when it cannot.
    bool Spill(const std::string& text, TTextCopy& copy);
    // A reader over the text, as the section's parser read it.
    std::unique_ptr<TSpecctraParser> ReaderOver(std::string text) const;
    // The reader of a piece, its text read back from the temporary file when
    // it is not in memory; none when it cannot be read back.
    TSpecctraParser* PieceReader(TTextCopy& copy);
    // The object of an entry, read again or taken from FWhole.
    std::unique_ptr<TSpecctraObject> Take(const TPending& entry, int32_t keyword);
    // Writes each entry's object to the board and frees it; stops at the
    // first that fails.
    bool ExportPending(std::vector<TPending>& pending, int32_t keyword);

    bool FReadAgain = true;
    std::size_t FReadAgainFromBytes = kReadAgainFromBytes;
    std::size_t FPieceBytes = kPieceBytes;
    // Whether the sections are read again, decided at the first.
    bool FReadingAgain = false;
    bool FReadingDecided = false;
    std::vector<TPending> FPendingWires;
    std::vector<TPending> FPendingVias;
    std::vector<std::unique_ptr<TSpecctraObject>> FWhole;
    std::vector<TTextCopy> FCopies;
    std::unique_ptr<std::FILE, TCloseFile> FSpill;
    bool FSpillFailed = false;
    uint64_t FSpillSize = 0;
    std::string FFileName;
    std::unique_ptr<TKeywordTable> FKeywords; // of the section's parser
    // The piece being noted: where it starts in the file, where its last
    // object ends, and how many objects it holds.
    bool FCopyOpen = false;
    std::size_t FCopyStart = 0;
    std::size_t FCopyEnd = 0;
    std::size_t FCopyObjects = 0;
};

// ------------------------------------------------------------ routed nets

class TSpecctraRoutes;

// One track of a board net as a route file writes it.
struct TBoardTrack {
    intptr_t Handle = 0;
    int32_t X1 = 0;
    int32_t Y1 = 0;
    int32_t X2 = 0;
    int32_t Y2 = 0;
    int32_t Width = 0;
    int32_t Layer = 0;
    bool Moveable = true;
};

// One net of a route or session file, read from a board net: its tracks
// (each written as a wire) and its vias. Its name is the net's name.
class TSpecctraRoutedNet : public TSpecctraAbstractWiringDescriptor {
public:
    TSpecctraRoutedNet(TSpecctraObject* owner, intptr_t net);
    const char* ClassName() const override { return "TSpecctraRoutedNet"; }

    // False without a net handle. `storedTags` are the via numbers kept in
    // the board (read once for all nets).
    bool ImportFromPcb() override;
    // "(net NAME" with every wire and via.
    bool ExportToFile() override;

    const TTaggedVias* StoredTags = nullptr;
    // The board's planes, read once for all nets (read by each via if unset).
    const std::vector<Board::TPlaneNet>* Planes = nullptr;
    const std::vector<TBoardTrack>& Tracks() const { return FTracks; }

private:
    // The net's tracks not written yet, into FTracks (each noted as written).
    void ReadTracks(intptr_t board);
    // The wire that writes each track in turn.
    std::unique_ptr<TSpecctraWire> FTrackWire;
    // Tracks are kept as plain records (a million of them on a large board)
    // and written one wire at a time.
    std::vector<TBoardTrack> FTracks;
};
