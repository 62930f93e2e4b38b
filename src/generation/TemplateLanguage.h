#pragma once
// The parts of the template language that go beyond plain replacement: conditional
// blocks, the place a placeholder stands in (text, inside a tag, inside a script) and
// the escaping each place needs, and which answers a template uses.

#include "generation/PageData.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace generation {

// `&`, `"`, `'`, `<` and `>` as character references, for a value inside a tag. Both
// escapes turn the engine's own placeholder marks (U+FDD0 to U+FDD2) into U+FFFD.
QString EscapeAttribute(const QString &text);
// The inside of a JSON string; `<`, `>` and `&` as \u escapes as well, so that a
// value can end neither the string nor the script element around it.
QString EscapeJsonString(const QString &text);

// Whether the value a conditional block names is set: true or false, or nothing to
// leave the block's markers where they are (to be resolved later, e.g. once per row).
// The name is upper case and without its "ZOR_" prefix.
using ConditionLookup = std::function<std::optional<bool>(const QString &name)>;

// Whether the text may hold conditional block markers ("ZOR_IF" in any letter case).
bool HasConditionalMarkers(const QString &text);

// Resolves <ZOR_IF_X>…</ZOR_IF_X> (body kept when X is set) and <ZOR_IFNOT_X>…
// </ZOR_IFNOT_X> (kept when X is blank). Markers match in any letter case and nest;
// the markers themselves never stay. A marker without its partner is dropped and the
// text around it kept.
QString ResolveConditionalBlocks(const QString &text, const ConditionLookup &isSet);

// Whether `name` (upper case, without "ZOR_") is set for the page data record: single
// placeholders by their value, blocks by their rows or their condition. Names of row
// items give nothing (they are decided per row); unknown names count as blank.
std::optional<bool> IsSetInRecord(const QString &name, const PageData &data);
// The same for the item placeholders of one row of a repeated block.
std::optional<bool> IsSetInRow(const QString &name, const ListRow &row);

// Where a placeholder stands in a template. Inside a tag its value is escaped as an
// attribute value; inside a script as a JSON string; in text content it stays as typed.
enum class PlaceholderContext { Text, Attribute, Script };

// Rewrites every single or item placeholder that stands inside a tag or a script into
// its context form (see PlaceholderForm); block markers and text placeholders stay.
QString MarkPlaceholderContexts(const QString &templateText);
// The text a placeholder ("<ZOR_X>") takes in the template after MarkPlaceholderContexts.
QString PlaceholderForm(const QString &placeholder, PlaceholderContext context);
// Turns context forms that no step replaced back into the placeholders as written.
QString RestorePlaceholderForms(const QString &text);

// Answers of the record (field names such as "txtMRP" or "lvwFAQ") that the template
// uses, by placeholder, block or conditional block, and that are blank, in the order
// of the wizard.
QStringList EmptyAnswersUsed(const QString &templateText, const PageData &data);

} // namespace generation
