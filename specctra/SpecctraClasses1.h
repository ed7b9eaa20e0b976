// The model's base: the object every Specctra model class derives from, the
// owning name-keyed object list, the rule collection, the translation state
// and the helpers shared across the model.
#pragma once

#include "board/BoardRules.h"
#include "specctra/SpecctraHelpers.h"
#include "specctra/SpecctraList.h"
#include "specctra/SpecctraObject.h"
#include "specctra/SpecctraRuleCollection.h"
#include "specctra/SpecctraTypes.h"
#include "specctra/TranslationState.h"
