// Reading and writing the settings through the host's descriptor procedures, by the key table.
#include "scripting/script_parameters.h"

#include "scripting/host_services.h"
#include "scripting/script_keys.h"

namespace aperlume {
namespace {

const ScriptKey* FindScriptKey(DescriptorKeyID key) {
    for (const ScriptKey& entry : kScriptKeys)
        if (entry.key == key) return &entry;
    return nullptr;
}

// Reads the value of the key just delivered. A value the host cannot deliver (its get procedure
// reports an error and may have left the output unwritten) leaves the field as it was.
void ReadValue(const ReadDescriptorProcs& procs, PIReadDescriptor token, const ScriptKey& entry,
               FilterParameters& settings) {
    if (entry.kind == ScriptValueKind::Integer) {
        std::int32_t value = 0;
        // Out-of-range values are stored as they arrive: only the dialog enforces ranges.
        if (procs.getIntegerProc(token, &value) == kNoError)
            settings.*entry.field = static_cast<std::int16_t>(value);  // the low 16 bits
        return;
    }
    DescriptorEnumID enumerator = 0;
    if (procs.getEnumeratedProc(token, &enumerator) != kNoError) return;
    settings.*entry.field = ValueForEnumerator(entry.kind, enumerator);
}

}  // namespace

Result ReadScriptParameters(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    PIDescriptorParameters* parameters = record.descriptorParameters;
    if (!DescriptorSuiteAvailable(parameters)) return kNoError;
    FilterParameters* settings = Parameters(context);
    Result closed = kOk;
    if (settings != nullptr) {
        // The keys the host should deliver, ending in 0; focus is read when present but not asked for.
        // Hosts mark the keys they deliver in this array, so it is a fresh copy on every read.
        DescriptorKeyID expected[kScriptKeys.size()] = {};
        std::size_t count = 0;
        for (const ScriptKey& entry : kScriptKeys)
            if (entry.key != kFocusKey) expected[count++] = entry.key;
        const ReadDescriptorProcs& procs = *parameters->readDescriptorProcs;
        PIReadDescriptor token = procs.openReadDescriptorProc(parameters->descriptor, expected);
        if (token != nullptr) {
            DescriptorKeyID key = 0;
            DescriptorTypeID type = 0;
            std::int32_t flags = 0;
            while (procs.getKeyProc(token, &key, &type, &flags)) {
                const ScriptKey* entry = FindScriptKey(key);
                if (entry != nullptr) ReadValue(procs, token, *entry, *settings);  // other keys are skipped
            }
            closed = CloseDescriptorReader(*parameters, record.handleProcs, token);
        }
    }
    context.showDialog = WantsDialog(*parameters) ? 1 : 0;
    return closed;
}

void WriteScriptParameters(PluginContext& context) {
    FilterRecord& record = *context.filterRecord;
    PIDescriptorParameters* parameters = record.descriptorParameters;
    const FilterParameters* settings = Parameters(context);
    if (!DescriptorSuiteAvailable(parameters) || settings == nullptr) return;
    const WriteDescriptorProcs& procs = *parameters->writeDescriptorProcs;
    PIWriteDescriptor token = procs.openWriteDescriptorProc();
    if (token == nullptr) return;
    // The put procedures' results are not acted on: a key the host could not take is simply missing on
    // replay, where the read tolerates it.
    for (const ScriptKey& entry : kScriptKeys) {
        const std::int16_t value = settings->*entry.field;
        if (entry.kind == ScriptValueKind::Integer)
            (void)procs.putIntegerProc(token, entry.key, value);
        else
            (void)procs.putEnumeratedProc(token, entry.key, entry.key, EnumeratorForValue(entry.kind, value));
    }
    CloseDescriptorWriter(*parameters, record.handleProcs, token);
}

}  // namespace aperlume
