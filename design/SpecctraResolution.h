// Units and resolution of the physical quantities of a Specctra file: one
// descriptor a quantity, holding a unit of its family and a step count.
#pragma once

#include "specctra/SpecctraClasses1.h"

#include <stdexcept>

// A resolution out of range ("%d is not allowed value.  Value must be positive
// integer"); it ends the translation.
class ERangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One unit keyword of a family and the code the descriptor stores for it.
struct TUnitKeyword {
    int32_t TokenId;
    uint8_t Code;
};

class TResolutionDescriptor : public TSpecctraObject {
public:
    TResolutionDescriptor(TSpecctraObject* owner, uint8_t unit, int32_t resolution);
    const char* ClassName() const override { return "TResolutionDescriptor"; }

    int32_t GetState_Resolution() const { return FResolution; }
    // Stores -1 or any value of 1 or more; anything else raises ERangeError
    // and keeps the old value.
    void SetState_Resolution(int32_t value);
    uint8_t GetState_Unit() const { return FUnit; }
    void SetState_Unit(uint8_t unit) { FUnit = unit; }

    // Reads "unit number )" after the block keyword.
    bool ImportFromFile() override;

protected:
    // The unit keywords of the descriptor's family.
    virtual const TUnitKeyword* Family(std::size_t& count) const = 0;

private:
    int32_t FResolution;
    uint8_t FUnit;
};

#define DSNLINK_RESOLUTION_CLASS(NAME)                                                             \
    class NAME : public TResolutionDescriptor {                                                    \
    public:                                                                                        \
        explicit NAME(TSpecctraObject* owner);                                                     \
        const char* ClassName() const override { return #NAME; }                                   \
                                                                                                   \
    protected:                                                                                     \
        const TUnitKeyword* Family(std::size_t& count) const override;                             \
    };

DSNLINK_RESOLUTION_CLASS(TCapacitanceResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TConductanceResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TCurrentResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TInductanceResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TResistanceResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TTimeResolutionDescriptor)
DSNLINK_RESOLUTION_CLASS(TVoltageResolutionDescriptor)
#undef DSNLINK_RESOLUTION_CLASS

// Lengths: inch by default, 2540000 steps per inch.
class TDimensionResolutionDescriptor : public TResolutionDescriptor {
public:
    explicit TDimensionResolutionDescriptor(TSpecctraObject* owner);
    const char* ClassName() const override { return "TDimensionResolutionDescriptor"; }
    // Writes "(resolution mm  100000)" and switches ResolutionFactor to 0.254:
    // every length written from then on is a whole count of 0.00001 mm.
    bool ExportToFile() override;

protected:
    const TUnitKeyword* Family(std::size_t& count) const override;
};

// The dimension unit that a "unit" block's keyword names; anything else warns
// through `reporter` and gives mil.
TDimensionUnit DimensionUnitOfToken(int32_t tokenId, const TSpecctraObject& reporter);
