#include "engine/PadOutlines.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace corvane {

namespace {

template <class T> void Put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads values off the front of a byte string; fails once past its end.
struct Taker {
    std::string_view rest;
    bool ok = true;
    template <class T> T Take() {
        T value{};
        if (rest.size() < sizeof value) {
            ok = false;
            return value;
        }
        std::memcpy(&value, rest.data(), sizeof value);
        rest.remove_prefix(sizeof value);
        return value;
    }
    // A count of items of at least `itemBytes` each that the rest can hold.
    uint32_t Count(size_t itemBytes) {
        const uint32_t n = Take<uint32_t>();
        if (ok && n > rest.size() / itemBytes)
            ok = false;
        return ok ? n : 0;
    }
};

void PackOutline(std::string& out, const PadOutline& outline) {
    Put<uint32_t>(out, static_cast<uint32_t>(outline.pieces.size()));
    for (const PadOutlinePiece& piece : outline.pieces) {
        Put<int32_t>(out, piece.entry);
        Put<double>(out, piece.radius);
        Put<uint32_t>(out, static_cast<uint32_t>(piece.points.size()));
        for (const PcbApiPoint& p : piece.points) {
            Put<int32_t>(out, p.x);
            Put<int32_t>(out, p.y);
        }
    }
}

constexpr size_t kPieceBytes = sizeof(int32_t) + sizeof(double) + sizeof(uint32_t);
constexpr size_t kPointBytes = 2 * sizeof(int32_t);
constexpr size_t kPadBytes = sizeof(int64_t) + sizeof(uint32_t) + 1;

bool UnpackOutline(Taker& in, PadOutline& outline) {
    const uint32_t pieces = in.Count(kPieceBytes);
    outline.pieces.resize(pieces);
    for (PadOutlinePiece& piece : outline.pieces) {
        piece.entry = in.Take<int32_t>();
        piece.radius = in.Take<double>();
        const uint32_t points = in.Count(kPointBytes);
        if (!in.ok || piece.entry < 0 || piece.entry >= kLayerCount ||
            !std::isfinite(piece.radius) || piece.radius < 0 || points == 0)
            return false;
        piece.points.resize(points);
        for (PcbApiPoint& p : piece.points) {
            p.x = in.Take<int32_t>();
            p.y = in.Take<int32_t>();
        }
    }
    return in.ok;
}

} // namespace

std::shared_ptr<const PadOutline> SharedPadOutline(PadOutline outline) {
    // Outlines no pad holds any more are dropped as new ones come.
    static std::mutex mutex;
    static std::unordered_map<std::string, std::weak_ptr<const PadOutline>> known;
    std::string key;
    PackOutline(key, outline);
    std::lock_guard<std::mutex> lock(mutex);
    auto [at, added] = known.try_emplace(key);
    if (!added)
        if (std::shared_ptr<const PadOutline> kept = at->second.lock())
            return kept;
    if (known.size() > 64 && known.size() % 64 == 0)
        std::erase_if(known, [](const auto& entry) { return entry.second.expired(); });
    auto made = std::make_shared<const PadOutline>(std::move(outline));
    known[key] = made;
    return made;
}

std::vector<Point> PlacedPiece(const PadOutlinePiece& piece, double x, double y, double angle,
                               bool mirrored) {
    double c = 1, s = 0;
    const double a = std::fmod(std::fmod(angle, 360.0) + 360.0, 360.0);
    // Quarter turns are exact, as the host's own pad shapes are.
    if (a == 90.0)
        c = 0, s = 1;
    else if (a == 180.0)
        c = -1, s = 0;
    else if (a == 270.0)
        c = 0, s = -1;
    else if (a != 0.0)
        c = std::cos(a * M_PI / 180.0), s = std::sin(a * M_PI / 180.0);
    std::vector<Point> out;
    out.reserve(piece.points.size());
    for (const PcbApiPoint& p : piece.points) {
        const double px = p.x, py = mirrored ? -double(p.y) : double(p.y);
        out.push_back({x + px * c - py * s, y + px * s + py * c});
    }
    return out;
}

std::string PackPadOutlines(const std::vector<KeptPadOutline>& pads) {
    std::unordered_map<const PadOutline*, uint32_t> number;
    std::string outlines;
    for (const KeptPadOutline& pad : pads)
        if (number.try_emplace(pad.outline.get(), static_cast<uint32_t>(number.size())).second)
            PackOutline(outlines, *pad.outline);
    std::string out;
    Put<uint32_t>(out, static_cast<uint32_t>(number.size()));
    out += outlines;
    Put<uint32_t>(out, static_cast<uint32_t>(pads.size()));
    for (const KeptPadOutline& pad : pads) {
        Put<int64_t>(out, pad.id);
        Put<uint32_t>(out, number[pad.outline.get()]);
        Put<uint8_t>(out, pad.mirrored ? 1 : 0);
    }
    return out;
}

bool UnpackPadOutlines(std::string_view bytes, std::vector<KeptPadOutline>& pads) {
    Taker in{bytes};
    std::vector<std::shared_ptr<const PadOutline>> outlines(in.Count(sizeof(uint32_t)));
    for (auto& outline : outlines) {
        PadOutline read;
        if (!UnpackOutline(in, read))
            return false;
        outline = SharedPadOutline(std::move(read));
    }
    const uint32_t count = in.Count(kPadBytes);
    pads.clear();
    pads.reserve(count);
    for (uint32_t i = 0; i < count && in.ok; ++i) {
        KeptPadOutline pad;
        pad.id = in.Take<int64_t>();
        const uint32_t which = in.Take<uint32_t>();
        pad.mirrored = in.Take<uint8_t>() != 0;
        if (which >= outlines.size())
            return false;
        pad.outline = outlines[which];
        pads.push_back(std::move(pad));
    }
    return in.ok && in.rest.empty();
}

} // namespace corvane
