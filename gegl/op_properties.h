// The operation's properties: one per row of the settings table, named as the tool's options, with the
// row's range and the tool's default; integers are integers, flags booleans, and the method and the
// correction GEGL enumerations whose nicks are the tool's names for their values. The labels and
// descriptions are the operation's own, in photographers' words.
//
// Property ids are the rows' positions plus one (GObject reserves 0).
#pragma once

#include <glib-object.h>

#include "base/filter_parameters.h"

namespace aperlume::gegl_op {

// Registers the enumerations with the module that defines the operation (once per process).
void RegisterSettingEnums(GTypeModule* module) noexcept;

// Installs every row's property on the operation's class; the enumerations must be registered.
void InstallSettingProperties(GObjectClass* klass) noexcept;

// A property's value into the block and out of it; false for an id that is not a setting's. The values
// arrive checked against the property's range by GObject.
bool SetSetting(FilterParameters& settings, guint id, const GValue* value) noexcept;
bool GetSetting(const FilterParameters& settings, guint id, GValue* value) noexcept;

}  // namespace aperlume::gegl_op
