#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    The framework's path field with its browse button, in directory mode, whose folder
    chooser is titled "Choose a new file": the framework's own chooser for a directory says
    "Choose a new directory" instead.

    The chosen folder becomes the current file and joins the recently used list, as with
    the framework's chooser.
*/
class FolderChooserField : public juce::FilenameComponent
{
public:
    explicit FolderChooserField (const juce::String& name);

    void lookAndFeelChanged() override;

private:
    std::unique_ptr<juce::FileChooser> chooser;

    void takeOverBrowseButton();
    void browse();

    JUCE_DECLARE_NON_COPYABLE (FolderChooserField)
};
