// SPDX-License-Identifier: MIT
/*
 * tovakwrapper_octave.h: handing a message library's records and metadata
 * to the tovakwrapper Octave package, from a gateway of one's own (a .oct
 * file built with mkoctfile; `pkg load tovakwrapper` must have run when its
 * functions are called). Header only; needs tovakWrapper.h, which the
 * package installs beside it.
 *
 *   tovakwrapper::Shape shape;        // what every one of the messages holds
 *   shape.presence_words = 1;
 *   shape.floats = 8;
 *   octave_value records = tovakwrapper::record_set(my_records, n, shape);
 *   octave_scalar_map command = tovakwrapper::metadata_struct(my_command_metadata, 0, 0);
 *
 * record_set() copies the n MessageRecords (the pointers, not the messages)
 * into a uint64 12xN matrix, column i from records[i], and makes it a record
 * set through tw_records: the package checks every call's indices against
 * `shape`. The messages stay the gateway's. It vouches that their arrays are
 * as long as `shape` says and that they outlive every call with the set: a
 * gateway that frees messages calls forget() on their records first, and
 * one that keeps them in static storage stays loaded (mlock) while the
 * records are in use.
 */
#ifndef TOVAKWRAPPER_OCTAVE_H
#define TOVAKWRAPPER_OCTAVE_H

#include <octave/oct.h>
#include <octave/parse.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tovakWrapper.h"

namespace tovakwrapper {

// Presence words and the elements of each value array of every message of a
// record set: the fields of the shape struct tw_records takes.
struct Shape {
    std::uint64_t presence_words = 0;
    std::uint64_t floats = 0;
    std::uint64_t high_res_angles = 0;
    std::uint64_t vector3fs = 0;
    std::uint64_t quaternionfs = 0;
    std::uint64_t uint64s = 0;
    std::uint64_t enums = 0;
    std::uint64_t bools = 0;
    std::uint64_t numbered_floats = 0;
    std::uint64_t io_pins = 0;
    std::uint64_t leds = 0;
};

// The shape struct.
inline octave_scalar_map shape_struct(const Shape& s) {
    octave_scalar_map m;
    m.setfield("presence_words", static_cast<double>(s.presence_words));
    m.setfield("floats", static_cast<double>(s.floats));
    m.setfield("high_res_angles", static_cast<double>(s.high_res_angles));
    m.setfield("vector3fs", static_cast<double>(s.vector3fs));
    m.setfield("quaternionfs", static_cast<double>(s.quaternionfs));
    m.setfield("uint64s", static_cast<double>(s.uint64s));
    m.setfield("enums", static_cast<double>(s.enums));
    m.setfield("bools", static_cast<double>(s.bools));
    m.setfield("numbered_floats", static_cast<double>(s.numbered_floats));
    m.setfield("io_pins", static_cast<double>(s.io_pins));
    m.setfield("leds", static_cast<double>(s.leds));
    return m;
}

static_assert(sizeof(MessageRecord) == 12 * sizeof(std::uint64_t),
              "a MessageRecord is 12 uint64 words");

// `n` records as a uint64 12xN matrix: column i holds records[i], byte for byte.
inline uint64NDArray record_matrix(const MessageRecord* records, octave_idx_type n) {
    uint64NDArray matrix(dim_vector(12, n));
    const auto* bytes = reinterpret_cast<const unsigned char*>(records);
    for (octave_idx_type i = 0; i < 12 * n; ++i) {
        std::uint64_t word;
        std::memcpy(&word, bytes + static_cast<std::size_t>(i) * sizeof word, sizeof word);
        matrix(i) = word;
    }
    return matrix;
}

// The record set of `n` records of messages of `shape`: tw_records of their
// matrix and shape struct.
inline octave_value record_set(const MessageRecord* records, octave_idx_type n,
                               const Shape& shape) {
    octave_value_list args;
    args(0) = record_matrix(records, n);
    args(1) = shape_struct(shape);
    return octave::feval("tw_records", args, 1)(0);
}

// Forgets a record set (tw_forget): calls with it, and with the sets made of
// any of its records, are refused from then on. Records forgotten already
// (by the user's own tw_forget) are left as they are.
inline void forget(const octave_value& records) {
    octave::feval("tw_forget", octave_value_list(records), 0);
}

// The metadata struct tw_initialize takes, from a MessageMetadata: its
// presence-bit bases and copies of its tables, which hold
// `numbered_float_fields` and `pin_banks` entries (the package keeps its own
// copies; pass the metadata again after a table changes).
inline octave_scalar_map metadata_struct(const MessageMetadata& metadata,
                                         std::size_t numbered_float_fields, std::size_t pin_banks) {
    uint32NDArray base(dim_vector(1, MI_KIND_COUNT));
    for (int k = 0; k < MI_KIND_COUNT; ++k) base(k) = metadata.base[k];
    const auto table = [](const std::int32_t* entries, std::size_t n) {
        int32NDArray row(dim_vector(1, entries == nullptr ? 0 : static_cast<octave_idx_type>(n)));
        for (octave_idx_type i = 0; i < row.numel(); ++i) row(i) = entries[i];
        return row;
    };
    octave_scalar_map m;
    m.setfield("base", base);
    m.setfield("numbered_float_table", table(metadata.numberedFloatTable, numbered_float_fields));
    m.setfield("pin_bank_table", table(metadata.pinBankTable, pin_banks));
    return m;
}

}  // namespace tovakwrapper

#endif  // TOVAKWRAPPER_OCTAVE_H
