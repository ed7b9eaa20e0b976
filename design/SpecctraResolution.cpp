#include "design/SpecctraResolution.h"

#include "specctra/SpecctraParser2.h"
#include "specctra/SpecctraWriter.h"

#include <iterator>

namespace {

const TUnitKeyword kDimension[] = {
    {eTok_inch, eDimInch}, {eTok_mil, eDimMil}, {eTok_cm, eDimCm},
    {eTok_mm, eDimMm},     {eTok_um, eDimUm},
};
const TUnitKeyword kCapacitance[] = {{eTok_farad, 0},  {eTok_mfarad, 1}, {eTok_ufarad, 2},
                                     {eTok_nfarad, 3}, {eTok_pfarad, 4}, {eTok_ffarad, 5}};
const TUnitKeyword kConductance[] = {{eTok_g, 0}, {eTok_kg, 1}, {eTok_mg, 2}};
const TUnitKeyword kCurrent[] = {{eTok_amp, 0}, {eTok_mamp, 1}};
const TUnitKeyword kInductance[] = {{eTok_mhenry, 0}, {eTok_uhenry, 1}, {eTok_nhenry, 2}};
const TUnitKeyword kResistance[] = {{eTok_kohm, 0}, {eTok_ohm, 1}, {eTok_mohm, 2}};
const TUnitKeyword kTime[] = {
    {eTok_sec, 0}, {eTok_msec, 1}, {eTok_usec, 2}, {eTok_nsec, 3}, {eTok_psec, 4}};
const TUnitKeyword kVoltage[] = {{eTok_volt, 0}, {eTok_mvolt, 1}};

} // namespace

TResolutionDescriptor::TResolutionDescriptor(TSpecctraObject* owner, uint8_t unit,
                                             int32_t resolution)
    : TSpecctraObject(owner), FResolution(resolution), FUnit(unit) {}

void TResolutionDescriptor::SetState_Resolution(int32_t value) {
    if (value != -1 && value < 1)
        throw ERangeError(std::to_string(value) +
                          " is not allowed value.  Value must be positive integer");
    FResolution = value;
}

bool TResolutionDescriptor::ImportFromFile() {
    std::size_t count = 0;
    const TUnitKeyword* family = Family(count);
    bool result = true;
    const int32_t stopLevel = SectionsOpen - 1;
    while (SectionsOpen > stopLevel && !StopParsing()) {
        const int32_t token = Parser->NextToken();
        const TUnitKeyword* unit = nullptr;
        for (std::size_t i = 0; i < count; ++i)
            if (family[i].TokenId == token)
                unit = &family[i];
        if (unit) {
            FUnit = unit->Code;
            SetState_Resolution(Parser->NextInteger());
        } else if (!HandleStructureToken()) {
            result = false;
        }
    }
    return result;
}

#define DSNLINK_RESOLUTION_IMPL(NAME, TABLE, UNIT, STEPS)                                          \
    NAME::NAME(TSpecctraObject* owner) : TResolutionDescriptor(owner, UNIT, STEPS) {}              \
    const TUnitKeyword* NAME::Family(std::size_t& count) const {                                   \
        count = std::size(TABLE);                                                                  \
        return TABLE;                                                                              \
    }

DSNLINK_RESOLUTION_IMPL(TDimensionResolutionDescriptor, kDimension, eDimInch, 2540000)
DSNLINK_RESOLUTION_IMPL(TCapacitanceResolutionDescriptor, kCapacitance, 3, 1000)
DSNLINK_RESOLUTION_IMPL(TConductanceResolutionDescriptor, kConductance, 1, 1000)
DSNLINK_RESOLUTION_IMPL(TCurrentResolutionDescriptor, kCurrent, 1, 1000)
DSNLINK_RESOLUTION_IMPL(TInductanceResolutionDescriptor, kInductance, 2, 1000)
DSNLINK_RESOLUTION_IMPL(TResistanceResolutionDescriptor, kResistance, 2, 1000)
DSNLINK_RESOLUTION_IMPL(TTimeResolutionDescriptor, kTime, 3, 1000)
DSNLINK_RESOLUTION_IMPL(TVoltageResolutionDescriptor, kVoltage, 1, 1000)
#undef DSNLINK_RESOLUTION_IMPL

bool TDimensionResolutionDescriptor::ExportToFile() {
    if (Writer)
        Writer->Writeln("(resolution mm  100000)", true);
    TranslationState().ResolutionFactor = 0.254;
    return true;
}

TDimensionUnit DimensionUnitOfToken(int32_t tokenId, const TSpecctraObject& reporter) {
    for (const TUnitKeyword& unit : kDimension)
        if (unit.TokenId == tokenId)
            return static_cast<TDimensionUnit>(unit.Code);
    reporter.ReportWarning("Unknown unit token, mils will be used");
    return eDimMil;
}
