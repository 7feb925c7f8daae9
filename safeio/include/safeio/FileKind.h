/** @file
    FileKind, what a name in a folder is.
*/
#pragma once

/** What a name in a folder is, looked at without following a link or opening it. */
enum class FileKind
{
    missing,        ///< Nothing has that name.
    regularFile,    ///< A regular file.
    directory,      ///< A folder.
    link,           ///< A symbolic link, whatever it leads to.
    special,        ///< A FIFO, device or socket.
    unknown         ///< Could not be looked at.
};
