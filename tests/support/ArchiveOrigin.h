#pragma once

#include "archive/Archive.h"

#include <gtest/gtest.h>

namespace archive::test {

// The origin a test's copy is stored with: the readout of that name (by default the one the
// front ends store under while they name none), made when the archive has none.
inline CopyOrigin testOrigin(Archive& archive, const QString& readout = unnamedReadoutName())
{
    if (const std::optional<Readout> found = archive.readout(readout))
        return CopyOrigin{found->id, std::nullopt};
    Error error;
    std::optional<Readout> made = archive.addReadout(readout, QStringLiteral("UTC"), &error);
    if (!made) // another program made it meanwhile
        made = archive.readout(readout);
    EXPECT_TRUE(made) << error.detail.toStdString();
    return CopyOrigin{made ? made->id : 0, std::nullopt};
}

} // namespace archive::test
