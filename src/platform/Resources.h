#pragma once

#include <QString>

#include <optional>

// The application's bundled resources (icons, preview clips, preset pictures), looked up by name and
// extension the way a bundle lookup works: an absent file gives none.
namespace Resources {

std::optional<QString> path(const QString& name, const QString& extension);
// A folder of the bundle (for example "DefaultImagePresets"), if present.
std::optional<QString> folder(const QString& name);
QString root();
// Tests point the lookup at a fixture folder; an empty path restores the normal search.
void setRoot(const QString& folder);

} // namespace Resources
