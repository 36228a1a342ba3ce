#include "operators/PhaseInv.h"

namespace vh {

namespace {
const char* const kHostNames[2] = {"+", "-"};
const char* const kEditorNames[2] = {"positive (+)", "negative (-)"};
constexpr ParameterInfo kParameters[] = {
    {.name = "phase", .title = "phase", .steps = 2, .hostItems = kHostNames, .editorItems = kEditorNames},
};
}  // namespace

PhaseInv::PhaseInv(int slot, ModuleHost* owner) : Operator(slot, owner, {kParameters, "---"}) {}

}  // namespace vh
