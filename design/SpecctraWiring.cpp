#include "design/SpecctraWiring.h"

#include "board/BoardFacade.h"
#include "board/BoardRules.h"
#include "design/SpecctraRoutes.h"
#include "geometry/SpecctraViaPadJumper.h"
#include "persistence/EmbeddedStorageWrapper.h"
#include "rules/SpecctraNetRltd.h"
#include "specctra/BlockReader.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

// ---------------------------------------------------------------------------
// TTaggedVias

std::size_t TTaggedVias::TKeyHash::operator()(const std::pair<double, double>& key) const noexcept {
    // 0.0 and -0.0 are equal positions: hash them alike.
    const double x = key.first + 0.0;
    const double y = key.second + 0.0;
    uint64_t a = 0;
    uint64_t b = 0;
    std::memcpy(&a, &x, sizeof a);
    std::memcpy(&b, &y, sizeof b);
    return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
}

void TTaggedVias::AddViaTag(TSpecctraObject* via, uint8_t number, double x, double y) {
    FItems.push_back(TViaTagInfo{via, number, x, y});
    FFirstAt.emplace(std::make_pair(x, y), FItems.size() - 1); // keeps the first
}

const TViaTagInfo* TTaggedVias::FindTagForLocation(double x, double y) const {
    const auto it = FFirstAt.find(std::make_pair(x, y));
    return it == FFirstAt.end() ? nullptr : &FItems[it->second];
}

std::string ViaTagKey(int number) {
    char key[64];
    std::snprintf(key, sizeof key, "%s=%s|%s=%d", "Type", "ViaTag", "ID", number);
    return key;
}

int StoreViaTags(intptr_t board, const std::vector<TViaTagInfo>& boardPositions) {
    // Group by number first: one pass over the vias whatever their numbers.
    std::vector<std::vector<const TViaTagInfo*>> byNumber(TTaggedVias::kMaxStoredNumber + 1);
    for (const TViaTagInfo& tag : boardPositions)
        if (tag.Number >= 1 && tag.Number <= TTaggedVias::kMaxStoredNumber)
            byNumber[tag.Number].push_back(&tag);
    int written = 0;
    for (int n = 1; n <= TTaggedVias::kMaxStoredNumber; ++n) {
        const auto& tags = byNumber[static_cast<std::size_t>(n)];
        if (tags.empty())
            continue;
        TEmbeddedStorageWrapper storage(board, ViaTagKey(n));
        storage.SetState_Parameter("C", std::to_string(tags.size()));
        for (std::size_t i = 0; i < tags.size(); ++i) {
            const std::string index = std::to_string(i);
            storage.SetState_Parameter("X" + index, IntToHexText(RoundToBoard(tags[i]->X)));
            storage.SetState_Parameter("Y" + index, IntToHexText(RoundToBoard(tags[i]->Y)));
        }
        if (storage.WriteToBoard())
            ++written;
    }
    return written;
}

TTaggedVias ReadStoredViaTags(intptr_t board) {
    TTaggedVias tags;
    for (int n = 1; n <= TTaggedVias::kMaxStoredNumber; ++n) {
        TEmbeddedStorageWrapper storage(board, ViaTagKey(n));
        if (!storage.ReadFromBoard())
            continue;
        std::string text;
        int32_t count = 0;
        if (storage.GetState_Parameter("C", text))
            ConvertSpecctraInt(text, count);
        for (int32_t i = 0; i < count; ++i) {
            const std::string index = std::to_string(i);
            int32_t x = 0;
            int32_t y = 0;
            if (!storage.GetState_Parameter("X" + index, text) || !HexTextToInt(text, x))
                x = 0;
            if (!storage.GetState_Parameter("Y" + index, text) || !HexTextToInt(text, y))
                y = 0;
            tags.AddViaTag(nullptr, static_cast<uint8_t>(n), x, y);
        }
    }
    return tags;
}

// ---------------------------------------------------------------------------
// TSpecctraEmbededConductor, TSpecctraWire

intptr_t TSpecctraEmbededConductor::ShapeContainer() {
    if (!Owner || Owner->HarrowHandle == GetBoard())
        return 0;
    return Owner->HarrowHandle;
}

TSpecctraWire::TSpecctraWire(TSpecctraObject* owner) : TSpecctraEmbededConductor(owner) {}

TSpecctraWire::~TSpecctraWire() = default;

const char* TSpecctraWire::TypeName(uint8_t type) {
    switch (type) {
    case eWireType_Fix:
        return "fixed";
    case eWireType_Route:
        return "route";
    case eWireType_Normal:
        return "normal";
    case eWireType_Protect:
        return "protect";
    default:
        return "";
    }
}

bool TSpecctraWire::ShapeMoveable() const {
    return Type != eWireType_Fix && Type != eWireType_Route && Type != eWireType_Protect;
}

void TSpecctraWire::SetTurret(int32_t value) {
    if (value != -1 && (value < 1 || value > 127)) {
        char text[96];
        std::snprintf(text, sizeof text, "%d is not within the valid range of %d..%d", value, 1,
                      127);
        throw ERangeError(text);
    }
    Turret = value;
}

bool TSpecctraWire::ReadType() {
    switch (Parser->NextToken()) {
    case eTok_fix:
        Type = eWireType_Fix;
        return true;
    case eTok_route:
        Type = eWireType_Route;
        return true;
    case eTok_normal:
        Type = eWireType_Normal;
        return true;
    case eTok_protect:
        Type = eWireType_Protect;
        return true;
    default:
        Parser->ReportUnexpectedToken();
        return false;
    }
}

bool TSpecctraWire::ImportFromFile() {
    SectionsOpen = 1;
    const auto shape = [&] { return ImportFromFile_Shape(); };
    return ReadSubBlocks(*this, {{eTok_path, shape},
                                 {eTok_polygon, shape},
                                 {eTok_qarc, shape},
                                 {eTok_circle, shape},
                                 {eTok_rect, shape},
                                 {eTok_window, [&] { return ImportFromFile_Window(); }},
                                 {eTok_net,
                                  [&] {
                                      Parser->NextString(NetName);
                                      return true;
                                  }},
                                 {eTok_type, [&] { return ReadType(); }},
                                 {eTok_turret,
                                  [&] {
                                      SetTurret(Parser->NextInteger());
                                      return true;
                                  }},
                                 {eTok_shield,
                                  [&] {
                                      Parser->NextString(ShieldNet);
                                      return true;
                                  }},
                                 {eTok_supply,
                                  [&] {
                                      Supply = true;
                                      return true;
                                  }},
                                 {eTok_connect,
                                  [&] {
                                      if (!Connection)
                                          Connection = std::make_unique<TSpecctraConnection>(this);
                                      const bool ok = Connection->ImportFromFile();
                                      --SectionsOpen; // the connection read its closing parenthesis
                                      return ok;
                                  }},
                                 {eTok_attr, [&] {
                                      if (Parser->NextToken() == eTok_fanout)
                                          return true;
                                      Parser->ReportUnexpectedToken();
                                      return false;
                                  }}});
}

void TSpecctraWire::LoadTrack(const TBoardTrack& track, const std::string& layerName) {
    if (!FBoardPath) {
        ShapeList.Clear();
        FBoardPath = ShapeList.AddNew(std::make_unique<TSpecctraPolyLineShape>(this));
        FBoardPath->NewVertex();
        FBoardPath->NewVertex();
        FRecalcShape = true;
    }
    HarrowHandle = track.Handle;
    Type = track.Moveable ? eWireType_None : eWireType_Route;
    FBoardPath->LayerID = layerName;
    FBoardPath->FApertureWidth = track.Width;
    FBoardPath->SetVertex(0, TVertex{static_cast<double>(track.X1), static_cast<double>(track.Y1)});
    FBoardPath->SetVertex(1, TVertex{static_cast<double>(track.X2), static_cast<double>(track.Y2)});
}

bool TSpecctraWire::ImportFromPcb() {
    if (HarrowHandle == 0)
        return false;
    TPcbTrack record(HarrowHandle);
    if (!Board::Read(record))
        return false;
    NetName = NetNameOf(HarrowHandle);
    const TBoardTrack track{HarrowHandle,
                            record.GetState_x1(),
                            record.GetState_y1(),
                            record.GetState_x2(),
                            record.GetState_y2(),
                            record.GetState_Width(),
                            record.GetState_Layer(),
                            record.GetState_Moveable()};
    LoadTrack(track, LayerNameOf(GetBoard(), track.Layer));
    TranslationState().WrittenBoardObjects.insert(HarrowHandle);
    return true;
}

bool TSpecctraWire::ExportToFile() {
    if (!Writer)
        return false;
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    if (!shape)
        return false;
    Writer->BeginLine();
    Writer->PutPlain("(wire ");
    Writer->Indent(3);
    const bool result = shape->ExportToFile();
    if (Type == eWireType_Fix || Type == eWireType_Route || Type == eWireType_Protect) {
        Writer->BeginLine();
        Writer->PutPlain("(type ");
        Writer->Put(TypeName(Type));
        Writer->PutPlain(")");
        Writer->EndLine();
    }
    Writer->UnIndent(3);
    Writer->Writeln(")", true);
    return result;
}

bool TSpecctraWire::ExportToPCB() {
    TSpecctraAbstractGeometryShape* shape = VisibleShape();
    if (!shape)
        return false;
    // A routed board has a wire per segment run: each shape would otherwise
    // find out what its owner is the slow way.
    if (shape->Owner == this)
        shape->KnowOwnerRole(this, this);
    return shape->ExportToPCB();
}

// ---------------------------------------------------------------------------
// TSpecctraBondSite

bool TSpecctraBondSite::ImportFromFile() {
    // On any failure the rest of the block is skipped.
    auto fail = [this] {
        if (Parser->CurrentToken() != eTok_CloseParen)
            Parser->SkipCurrentBlock();
        return false;
    };
    Parser->NextString(PinReference);
    Parser->NextString(PadstackName);
    Position.X = Parser->NextReal();
    if (Parser->ConversionFailed())
        return fail();
    Position.Y = Parser->NextReal();
    if (Parser->ConversionFailed())
        return fail();
    int32_t token = Parser->NextToken();
    if (token == eTok_front || token == eTok_back) {
        Side = token == eTok_back ? 1 : 0;
        token = Parser->NextToken();
    }
    if (token != eTok_CloseParen) {
        Parser->ReportUnexpectedToken();
        return fail();
    }
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraTestPoint

bool TSpecctraTestPoint::ReadSubBlock() {
    bool result = true;
    switch (Parser->NextToken()) {
    case eTok_net:
        Parser->NextString(NetName);
        break;
    case eTok_type:
        switch (Parser->NextToken()) {
        case eTok_route:
            Type = 2;
            break;
        case eTok_normal:
            Type = 3;
            break;
        case eTok_protect:
            Type = 4;
            break;
        default:
            Parser->ReportUnexpectedToken();
            result = false;
            break;
        }
        break;
    default:
        Parser->ReportUnexpectedToken();
        result = false;
        break;
    }
    // The sub-block's closing parenthesis (or whatever stands there).
    if (Parser->NextToken() != eTok_CloseParen) {
        Parser->SkipCurrentBlock();
        result = false;
    }
    return result;
}

bool TSpecctraTestPoint::ImportFromFile() {
    bool result = true;
    bool haveX = false;
    while (!StopParsing()) {
        const int32_t token = Parser->NextToken();
        if (token == eTok_CloseParen)
            break;
        if (token == eTok_front || token == eTok_back) {
            Side = token == eTok_back ? eBack : eFront;
        } else if (token == eTok_OpenParen) {
            result = ReadSubBlock() && result;
        } else if (!haveX) {
            haveX = true;
            double value = 0.0;
            if (!Parser->TokenStr2Real(value))
                result = false;
            Position.X = value;
            Position.Y = Parser->NextReal();
            if (Parser->ConversionFailed())
                result = false;
        } else {
            Parser->ReportUnexpectedToken();
            result = false;
        }
    }
    return result;
}

bool TSpecctraTestPoint::ExportToFile() {
    if (!Writer)
        return false;
    std::string line = "(point ";
    AppendGeneralNumber(line, BoardToFileX(RoundToBoard(Position.X)));
    line.push_back(' ');
    AppendGeneralNumber(line, BoardToFileY(RoundToBoard(Position.Y)));
    line.append(Side == eBack ? " back " : " front ");
    line.append("(net ").append(QuoteIfParenthesised(NetName)).append(")");
    if (Type == 3)
        line.append("(type route)");
    else if (Type == 4)
        line.append("(type protect)");
    line.append(")");
    Writer->Writeln(line, true);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraTestpointsDescriptor

TSpecctraTestpointsDescriptor::TSpecctraTestpointsDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner), FTestPoints(CreateList()) {}

TSpecctraTestpointsDescriptor::~TSpecctraTestpointsDescriptor() = default;

namespace {

// A test point from a board pad or via read into `object`.
template <class TWrapper>
void AddBoardTestPoint(TSpecctraTestpointsDescriptor& owner, TSpecctraList& list,
                       const TWrapper& object) {
    if (!object.GetState_FIsAssyTestPointTop() && !object.GetState_FIsAssyTestPointBtm())
        return;
    auto point = std::make_unique<TSpecctraTestPoint>(&owner);
    point->Side = object.GetState_FIsAssyTestPointBtm() ? TSpecctraTestPoint::eBack
                                                        : TSpecctraTestPoint::eFront;
    point->Position.X = object.GetState_x1();
    point->Position.Y = object.GetState_y1();
    point->Type = object.GetState_Moveable() ? 3 : 4;
    point->NetName = NetNameOf(object.GetState_ObjectHandle());
    list.Add(std::move(point));
}

} // namespace

bool TSpecctraTestpointsDescriptor::ImportFromPcb() {
    const intptr_t board = GetBoard();
    // A test point needs a pad's place, net and flags: its record alone.
    ProcessItems(board, ePadObject, [&](intptr_t handle) {
        TPcbPad pad(handle);
        if (pad.ReadRecordOnly() == 1)
            AddBoardTestPoint(*this, *FTestPoints, pad);
        return true;
    });
    ProcessItems(board, eViaObject, [&](intptr_t handle) {
        TPcbVia via(handle);
        if (Board::Read(via))
            AddBoardTestPoint(*this, *FTestPoints, via);
        return true;
    });
    return true;
}

bool TSpecctraTestpointsDescriptor::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(test_points ", true);
    Writer->Indent(1);
    ExportListToFile(FTestPoints.get());
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

// ---------------------------------------------------------------------------
// TSpecctraAbstractWiringDescriptor

TSpecctraAbstractWiringDescriptor::TSpecctraAbstractWiringDescriptor(TSpecctraObject* owner)
    : TSpecctraFileSectionDescriptor(owner) {}

TSpecctraAbstractWiringDescriptor::~TSpecctraAbstractWiringDescriptor() {
    // The tagged vias point at vias: drop them first.
    FTaggedVias.reset();
}

TSpecctraList& TSpecctraAbstractWiringDescriptor::OnDemand(std::unique_ptr<TSpecctraList>& list) {
    if (!list)
        list = CreateList();
    return *list;
}
TTaggedVias& TSpecctraAbstractWiringDescriptor::TaggedVias() {
    if (!FTaggedVias)
        FTaggedVias = std::make_unique<TTaggedVias>();
    return *FTaggedVias;
}

// ---------------------------------------------------------------------------
// TSpecctraDSNWiringDescriptor

namespace {

// Reads one object's block into a list: kept on success, freed on failure.
template <class T> bool ReadInto(TSpecctraObject& owner, TSpecctraList& list, T** kept = nullptr) {
    auto object = std::make_unique<T>(&owner);
    if (!object->ImportFromFile())
        return false;
    T* raw = list.AddNew(std::move(object));
    if (kept)
        *kept = raw;
    return true;
}

} // namespace

bool TSpecctraDSNWiringDescriptor::ReadTestPoints() {
    bool result = true;
    int32_t level = 1;
    while (level > 0 && !StopParsing()) {
        switch (Parser->NextToken()) {
        case eTok_OpenParen:
            ++level;
            break;
        case eTok_CloseParen:
            --level;
            break;
        case eTok_point:
            result = ReadInto<TSpecctraTestPoint>(*this, TestPoints()) && result;
            --level; // the point consumed its closing parenthesis
            break;
        default:
            Parser->ReportUnexpectedToken();
            result = false;
            break;
        }
    }
    --SectionsOpen;
    return result;
}

bool TSpecctraDSNWiringDescriptor::ReadBondSite() {
    const bool result = ReadInto<TSpecctraBondSite>(*this, BondSites());
    --SectionsOpen;
    return result;
}

TSpecctraDSNWiringDescriptor::TSpecctraDSNWiringDescriptor(TSpecctraObject* owner)
    : TSpecctraAbstractWiringDescriptor(owner) {}

TSpecctraDSNWiringDescriptor::~TSpecctraDSNWiringDescriptor() {
    // The tagged vias point at vias kept whole.
    FTaggedVias.reset();
}

std::size_t TSpecctraDSNWiringDescriptor::PendingWires() const {
    return FPendingWires.size() + (FWires ? static_cast<std::size_t>(FWires->Count()) : 0);
}

std::size_t TSpecctraDSNWiringDescriptor::PendingVias() const {
    return FPendingVias.size() + (FVias ? static_cast<std::size_t>(FVias->Count()) : 0);
}

bool TSpecctraDSNWiringDescriptor::ImportFromFile() {
    FCopyOpen = false;
    // Decided once: the objects of every section go to the board in the order
    // they were read, which two ways of holding them would not keep.
    if (!FReadingDecided) {
        FReadingAgain = FReadAgain && Parser->Input().Size() >= FReadAgainFromBytes;
        FReadingDecided = true;
    }
    const bool result = ReadBlocks();
    // The last piece runs to the section's end.
    CopyPiece(Parser->Position());
    // The entries wait for the board as long as the text.
    FPendingWires.shrink_to_fit();
    FPendingVias.shrink_to_fit();
    return result;
}

bool TSpecctraDSNWiringDescriptor::ReadBlocks() {
    return ReadSubBlocks(*this, {{eTok_wire, [&] { return ReadWire(); }},
                                 {eTok_via, [&] { return ReadVia(); }},
                                 {eTok_bond, [&] { return ReadBondSite(); }},
                                 {eTok_test_points, [&] { return ReadTestPoints(); }},
                                 {eTok_supply_pin,
                                  [&] {
                                      ImportUnknownBlock();
                                      return true;
                                  }},
                                 {eTok_resolution,
                                  [&] {
                                      HasOwnResolution = true;
                                      return ImportFromFile_DimensionResolution();
                                  }},
                                 {eTok_unit, [&] {
                                      FUnits = DimensionUnitOfToken(Parser->NextToken(), *this);
                                      return true;
                                  }}});
}

bool TSpecctraDSNWiringDescriptor::ExportToPCB() {
    if (HasOwnResolution && DimensionResolution())
        TranslationState().ResolutionFactor = DimensionResolution()->GetState_Resolution();
    // The via numbers' board positions are taken while their vias live; each
    // wire and via is freed once it is on the board, as nothing after the
    // import reads them from the design.
    std::vector<TViaTagInfo> atBoard;
    if (FTaggedVias && FTaggedVias->Count() > 0) {
        atBoard.reserve(FTaggedVias->Count());
        for (const TViaTagInfo& tag : FTaggedVias->Items()) {
            TSpecctraObject* via = tag.Via ? tag.Via : this;
            atBoard.push_back(TViaTagInfo{nullptr, tag.Number,
                                          static_cast<double>(via->ExportToPCB_PositionX(tag.X)),
                                          static_cast<double>(via->ExportToPCB_PositionY(tag.Y))});
        }
        FTaggedVias.reset();
    }
    if (FWires)
        ExportListToPCBAndRelease(FWires);
    ExportPending(FPendingWires, eTok_wire);
    if (FVias)
        ExportListToPCBAndRelease(FVias);
    ExportPending(FPendingVias, eTok_via);
    FWhole.clear();
    FWhole.shrink_to_fit();
    FCopies.clear();
    FSpill.reset();
    if (!atBoard.empty())
        StoreViaTags(GetBoard(), atBoard);
    TranslationState().ResolutionFactor = 1.0;
    return true;
}

bool TSpecctraDSNWiringDescriptor::ReadWire() {
    const TReadPoint point = Parser->ReadPoint();
    auto wire = std::make_unique<TSpecctraWire>(this);
    const bool result = wire->ImportFromFile();
    if (result) {
        if (FReadingAgain)
            Remember(std::move(wire), point, false, FPendingWires);
        else
            Wires().Add(std::move(wire));
    }
    --SectionsOpen;
    return result;
}

bool TSpecctraDSNWiringDescriptor::ReadVia() {
    const TReadPoint point = Parser->ReadPoint();
    auto via = std::make_unique<TSpecctraViaInstance>(this);
    const bool result = via->ImportFromFile();
    if (result) {
        TSpecctraViaInstance* kept = via.get();
        // A numbered via is kept whole: its number's position is taken from
        // it before any wire is written.
        const bool numbered = kept->Number != 0;
        if (FReadingAgain)
            Remember(std::move(via), point, numbered, FPendingVias);
        else
            Vias().Add(std::move(via));
        if (numbered)
            TaggedVias().AddViaTag(kept, kept->Number, kept->Position.X, kept->Position.Y);
    }
    --SectionsOpen;
    return result;
}

void TSpecctraDSNWiringDescriptor::Remember(std::unique_ptr<TSpecctraObject> object,
                                            const TReadPoint& point, bool keepWhole,
                                            std::vector<TPending>& pending) {
    // The text of an object that stopped the reading, or ran to the end of
    // the file, would not read the same again alone.
    keepWhole = keepWhole || Parser->Aborted() || Parser->EndOfFile() ||
                TranslationState().StopFlag || FCopies.size() + 1 >= kWhole;
    if (!keepWhole && FCopyOpen && point.Pos - FCopyStart > FPieceBytes)
        CopyPiece(FCopyEnd);
    if (!keepWhole && !FCopyOpen) {
        // The copy starts at a character other than a space, so that a look
        // back over spaces from any object finds what it found in the file.
        const std::string& data = Parser->Input().Data();
        std::size_t start = point.Pos > 64 ? point.Pos - 64 : 0;
        while (start > 0 && data[start] == ' ')
            --start;
        FCopyStart = start;
        FCopyOpen = true;
    }
    keepWhole = keepWhole || point.Pos - FCopyStart > std::numeric_limits<uint32_t>::max();
    TPending entry;
    if (keepWhole) {
        entry.Copy = kWhole;
        entry.Offset = static_cast<uint32_t>(FWhole.size());
        FWhole.push_back(std::move(object));
    } else {
        entry.Offset = static_cast<uint32_t>(point.Pos - FCopyStart);
        entry.Line = point.Line;
        entry.Copy = static_cast<uint16_t>(FCopies.size());
        entry.Previous = point.Previous;
        entry.Current = point.Current;
        entry.Quote = point.Quote;
        entry.Units = static_cast<uint8_t>(object->FUnits);
        entry.ConversionFailed = point.ConversionFailed;
        FCopyEnd = Parser->Position();
        ++FCopyObjects;
    }
    pending.push_back(entry);
}

void TSpecctraDSNWiringDescriptor::CopyPiece(std::size_t end) {
    if (!FCopyOpen)
        return;
    FCopyOpen = false;
    if (FCopyObjects == 0)
        return; // every object since it opened was kept whole
    if (!FKeywords) {
        FKeywords = std::make_unique<TKeywordTable>(Parser->Keywords());
        FFileName = Parser->Input().FileName();
    }
    const std::string& data = Parser->Input().Data();
    end = std::min(data.size(), end + 64);
    TTextCopy copy;
    copy.Start = FCopyStart;
    copy.Waiting = FCopyObjects;
    std::string text = data.substr(FCopyStart, end - FCopyStart);
    if (!Spill(text, copy))
        copy.Reader = ReaderOver(std::move(text));
    FCopies.push_back(std::move(copy));
    FCopyObjects = 0;
}

bool TSpecctraDSNWiringDescriptor::Spill(const std::string& text, TTextCopy& copy) {
    if (FSpillFailed)
        return false;
    if (!FSpill) {
        FSpill.reset(std::tmpfile());
        if (!FSpill) {
            FSpillFailed = true;
            return false;
        }
    }
    if (std::fwrite(text.data(), 1, text.size(), FSpill.get()) != text.size()) {
        // What was written stays readable; this piece and the rest stay in
        // memory.
        FSpillFailed = true;
        return false;
    }
    copy.Spilled = true;
    copy.SpillOffset = FSpillSize;
    copy.Length = text.size();
    FSpillSize += text.size();
    return true;
}

std::unique_ptr<TSpecctraParser> TSpecctraDSNWiringDescriptor::ReaderOver(std::string text) const {
    auto reader = std::make_unique<TSpecctraParser>(
        std::make_unique<TInputFile>(FFileName, std::move(text)), TBlockParser::TRereading{});
    reader->AdoptKeywords(*FKeywords);
    return reader;
}

TSpecctraParser* TSpecctraDSNWiringDescriptor::PieceReader(TTextCopy& copy) {
    if (copy.Reader || !copy.Spilled)
        return copy.Reader.get();
    std::string text(copy.Length, '\0');
    if (std::fflush(FSpill.get()) != 0 ||
        ::fseeko(FSpill.get(), static_cast<off_t>(copy.SpillOffset), SEEK_SET) != 0 ||
        std::fread(text.data(), 1, text.size(), FSpill.get()) != text.size()) {
        std::fseek(FSpill.get(), 0, SEEK_END);
        return nullptr;
    }
    copy.Reader = ReaderOver(std::move(text));
    return copy.Reader.get();
}

std::unique_ptr<TSpecctraObject> TSpecctraDSNWiringDescriptor::Take(const TPending& entry,
                                                                    int32_t keyword) {
    if (entry.Copy == kWhole)
        return std::move(FWhole[entry.Offset]);
    TTextCopy& copy = FCopies[entry.Copy];
    TSpecctraParser* reader = PieceReader(copy);
    if (!reader) {
        ReportError("The wiring text kept in a temporary file could not be read back; "
                    "the rest of the wiring is not written to the board.");
        return nullptr;
    }
    TReadPoint point;
    point.Pos = copy.Start + entry.Offset;
    point.Line = entry.Line;
    point.LastToken = keyword;
    point.Previous = entry.Previous;
    point.Current = entry.Current;
    point.Quote = entry.Quote;
    point.ConversionFailed = entry.ConversionFailed;
    reader->ResumeAt(point, copy.Start);
    std::unique_ptr<TSpecctraObject> object;
    if (keyword == eTok_wire)
        object = std::make_unique<TSpecctraWire>(this);
    else
        object = std::make_unique<TSpecctraViaInstance>(this);
    object->Parser = reader;
    object->FUnits = static_cast<TDimensionUnit>(entry.Units);
    // It read well the first time, with no stop asked (a stop asked since
    // then ends the reading of the file, not this).
    const bool stop = TranslationState().StopFlag;
    TranslationState().StopFlag = false;
    {
        const TReportsMuted muted; // its reports were made the first time
        object->ImportFromFile();
    }
    TranslationState().StopFlag = stop;
    return object;
}

bool TSpecctraDSNWiringDescriptor::ExportPending(std::vector<TPending>& pending, int32_t keyword) {
    bool result = true;
    for (std::size_t i = 0; i < pending.size() && result; ++i) {
        const TPending& entry = pending[i];
        std::unique_ptr<TSpecctraObject> object = Take(entry, keyword);
        if (!object) {
            result = false;
            break;
        }
        result = object->ExportToPCB();
        object.reset();
        if (entry.Copy == kWhole)
            continue;
        // A piece of text goes once the last of its objects is on the board,
        // or, when it can be read back, once the next object lies elsewhere.
        TTextCopy& copy = FCopies[entry.Copy];
        const bool last = --copy.Waiting == 0;
        const bool moving = i + 1 == pending.size() || pending[i + 1].Copy != entry.Copy;
        if (last || (copy.Spilled && moving))
            copy.Reader.reset();
    }
    std::vector<TPending>().swap(pending);
    return result;
}

// ---------------------------------------------------------------------------
// TSpecctraRoutedNet

TSpecctraRoutedNet::TSpecctraRoutedNet(TSpecctraObject* owner, intptr_t net)
    : TSpecctraAbstractWiringDescriptor(owner) {
    NetHandle = net;
}

void TSpecctraRoutedNet::ReadTracks(intptr_t board) {
    auto& written = TranslationState().WrittenBoardObjects;
    // All in one engine call where it can: a large board has a million.
    thread_local std::vector<PcbApiTrackRow> rows;
    if (Board::ReadNetTracks(NetHandle, rows)) {
        FTracks.reserve(FTracks.size() + rows.size());
        for (const PcbApiTrackRow& row : rows)
            if (written.insert(row.Handle))
                FTracks.push_back(TBoardTrack{row.Handle, row.x1, row.y1, row.x2, row.y2, row.Width,
                                              row.Layer, row.Moveable != 0});
        return;
    }
    ProcessItems(
        board, eTrackObject,
        [&](intptr_t handle) {
            if (written.count(handle) != 0)
                return true;
            TPcbTrack track(handle);
            if (!Board::Read(track))
                return true;
            FTracks.push_back(TBoardTrack{handle, track.GetState_x1(), track.GetState_y1(),
                                          track.GetState_x2(), track.GetState_y2(),
                                          track.GetState_Width(), track.GetState_Layer(),
                                          track.GetState_Moveable()});
            written.insert(handle);
            return true;
        },
        NetHandle);
}

bool TSpecctraRoutedNet::ImportFromPcb() {
    if (NetHandle == 0)
        return false;
    TPcbNet net(NetHandle);
    if (Board::Read(net))
        NameID = net.GetState_Name();
    const intptr_t board = GetBoard();
    ReadTracks(board);
    ProcessItems(
        board, eViaObject,
        [&](intptr_t handle) {
            auto via = std::make_unique<TSpecctraViaInstance>(this);
            via->HarrowHandle = handle;
            via->KnownPlanes = Planes;
            if (via->ImportFromPcb())
                Vias().Add(std::move(via));
            return true;
        },
        NetHandle);
    // Via numbers kept at import, found again by exact position; a numbered
    // via chooses its padstack again (spare padstacks become candidates).
    if (StoredTags && FVias) {
        for (int32_t i = 0; i < FVias->Count(); ++i) {
            auto* via = static_cast<TSpecctraViaInstance*>(FVias->GetState_SpecctraObject(i));
            const TViaTagInfo* tag =
                StoredTags->FindTagForLocation(via->Position.X, via->Position.Y);
            if (!tag || tag->Number == 0)
                continue;
            via->Number = tag->Number;
            TPcbVia record(via->HarrowHandle);
            if (Board::Read(record))
                via->SetPadstackReference(record.GetState_LowLayer(), record.GetState_HighLayer(),
                                          record.GetState_Size());
        }
    }
    return true;
}

bool TSpecctraRoutedNet::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(net " + QuoteIfParenthesised(NameID), true);
    Writer->Indent(1);
    if (!FTracks.empty()) {
        auto* routes = dynamic_cast<TSpecctraRoutes*>(Root());
        if (!FTrackWire)
            FTrackWire = std::make_unique<TSpecctraWire>(this);
        for (const TBoardTrack& track : FTracks) {
            FTrackWire->LoadTrack(track, routes ? routes->HostLayerName(track.Layer) : NoText());
            if (!FTrackWire->ExportToFile())
                break;
        }
    }
    if (FVias)
        ExportListToFile(FVias.get());
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}
