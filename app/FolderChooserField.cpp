#include "FolderChooserField.h"

FolderChooserField::FolderChooserField (const juce::String& name)
    : juce::FilenameComponent (name, juce::File(), true, true, true, juce::String(), juce::String(), juce::String())
{
    takeOverBrowseButton();
}

void FolderChooserField::lookAndFeelChanged()
{
    // The framework makes a new browse button for each look-and-feel, wired to its own chooser.
    juce::FilenameComponent::lookAndFeelChanged();
    takeOverBrowseButton();
}

void FolderChooserField::takeOverBrowseButton()
{
    for (auto* child : getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child))
            button->onClick = [this] { browse(); };
}

void FolderChooserField::browse()
{
    chooser = std::make_unique<juce::FileChooser> ("Choose a new file", getLocationToBrowse(), juce::String());

    chooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                          [this] (const juce::FileChooser& finished)
    {
        if (finished.getResult() != juce::File())
            setCurrentFile (finished.getResult(), true);
    });
}
