// The variable dump of error reports (module modErrorCapture): one named
// variable of any automation type written as tagged text. Scalars take one
// line, arrays and enumerable objects become nested elements, everything else
// a marker in braces. Nothing is escaped.
#pragma once

#include <cstdint>

#include "core/runtimeerror.h"

namespace kw {

// The dump of VariableValue under the name VariableName, indented by Indent
// spaces. Callers pass Level 99 and Indent 4 for a top-level variable.
//
// A failure while naming, classifying or converting the value replaces the
// whole result by "{Error n formatting for output}". From the probe of an
// object for its enumerator, or the counting of an array's dimensions, on,
// failures leave the dump as RuntimeError. Each nested element catches its
// own formatting failures.
//
// Arrays are written up to three dimensions; one of more dimensions is
// written as "{Dump truncated at n dimensions}" between its tags. Items of a
// collection get level 3 (less when the collection's own level is lower), and
// an object at level 0 or below is not opened: it is written as
// "{Nesting limit reached - " + type name + "}", which bounds a collection
// that contains itself.
Text DumpVariable(const Text& VariableName, const VARIANT& VariableValue, std::int32_t Level, std::int32_t Indent);

// True exactly when asking for the lower bound of dimension Dimension fails
// with run-time error 9: an array that was never sized, or a dimension the
// array does not have.
bool ArrayDimensionMissing(SAFEARRAY* ArrayValue, std::int32_t Dimension);

}  // namespace kw
