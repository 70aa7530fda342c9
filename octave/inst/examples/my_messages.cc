// SPDX-License-Identifier: MIT
// A gateway of one's own message library, handing its messages to the
// tovakwrapper package through tovakwrapper_octave.h. The "message library"
// here is a few lines: Command messages with one presence word, eight Float
// fields and four Led fields. Built and used from Octave (docs/octave.md):
//
//   inc = fullfile (pkg ("list", "tovakwrapper"){1}.dir, "include");
//   mkoctfile (["-I" inc], "my_messages.cc");
//   autoload ("my_message_floats", fullfile (pwd, "my_messages.oct"));
//   [records, meta] = my_messages (12);
//   tw_initialize (meta, meta, meta);
//   tw_command_set_float (records, single (1:12), 3);
//   my_message_floats (12)   % 0 0 0 12 0 0 0 0
#include <octave/oct.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "tovakwrapper_octave.h"

namespace {

// One message of the library.
struct DeviceCommand {
    std::uint32_t presence[1] = {};
    float floats[8] = {};
    std::uint32_t leds[4] = {};
};

// The messages, each allocated on its own, and the record set handed over
// for them.
std::vector<std::unique_ptr<DeviceCommand>> messages;
octave_value handed;

}  // namespace

DEFMETHOD_DLD(my_messages, interp, args, , R"(-*- texinfo -*-
@deftypefn {} {[@var{records}, @var{meta}] =} my_messages (@var{count})
Make @var{count} Command messages (freeing those made before) and hand them
to tovakwrapper: @var{records} is their record set, @var{meta} the metadata
struct that @code{tw_initialize} takes.
@end deftypefn)") {
    if (args.length() != 1) print_usage();
    const octave_idx_type count = args(0).xidx_type_value("my_messages: count must be an integer");
    if (count < 0) error("my_messages: count must not be negative");
    // The messages of the earlier set are freed: forget its records first.
    if (handed.is_defined()) tovakwrapper::forget(handed);
    messages.clear();
    std::vector<MessageRecord> records(static_cast<std::size_t>(count));
    for (MessageRecord& record : records) {
        messages.push_back(std::make_unique<DeviceCommand>());
        record.presence = messages.back()->presence;
        record.floats = messages.back()->floats;
        record.leds = messages.back()->leds;
    }
    tovakwrapper::Shape shape;  // what each message holds: what the package checks against
    shape.presence_words = 1;
    shape.floats = 8;
    shape.leds = 4;
    handed = tovakwrapper::record_set(records.data(), count, shape);
    // Presence bits: Float fields 0-7, Led fields 8-11, flags from 12.
    MessageMetadata meta{};
    meta.base[MI_KIND_LED] = 8;
    meta.base[MI_KIND_FLAG] = 12;
    // The messages live in this file's memory: it stays loaded.
    interp.mlock();
    return ovl(handed, tovakwrapper::metadata_struct(meta, 0, 0));
}

DEFUN_DLD(my_message_floats, args, , R"(-*- texinfo -*-
@deftypefn {} {@var{floats} =} my_message_floats (@var{i})
The eight Float fields of message @var{i} (from 1), read from its storage.
@end deftypefn)") {
    if (args.length() != 1) print_usage();
    const octave_idx_type i = args(0).xidx_type_value("my_message_floats: i must be an integer");
    if (i < 1 || i > static_cast<octave_idx_type>(messages.size()))
        error("my_message_floats: no message %ld", static_cast<long>(i));
    FloatNDArray floats(dim_vector(1, 8));
    for (int f = 0; f < 8; ++f) floats(f) = messages[static_cast<std::size_t>(i - 1)]->floats[f];
    return ovl(floats);
}
