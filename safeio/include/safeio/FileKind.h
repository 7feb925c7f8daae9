#pragma once

/** What a name in a folder is, looked at without following a link or opening it. */
enum class FileKind
{
    missing,
    regularFile,
    directory,
    link,
    special,    // FIFO, device, socket
    unknown     // could not be looked at
};
