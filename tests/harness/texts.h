// What SETUP1.EXE shows, byte for byte as the program has it (code page
// 1252): the one copy that every test compares with.
#pragma once

// The directory prompt's caption, its four texts (English, French, German,
// Spanish: items IDC_TEXT_ENGLISH to IDC_TEXT_SPANISH) in the normal mode,
// where the staging folder could not be made ready, and in the add-on mode,
// and its buttons.
static const char PromptCaption[] = "ZEV Setup";
static const char *const StagingTexts[4] = {
    "Setup was unable to create the temporary directory listed below; please specify a new path.",
    "L'inskallation ne pouvait pas fabriquer le r\xE9pertoire temporaire inscrit ici desous; specifiez un chemin "
    "nouveau, s'il vous pla\xEEt.",
    "Setup kann nicht der zeitweilig Leitfaden hienieden erschaffen; bitte spezifizieren Sie ein neves "
    "Verzeichnis.",
    "Fu\xE9 imposible crear el directorio temporal listado a continuaci\xF3n; por favor especifique un camino "
    "nuevo.",
};
static const char *const AddOnTexts[4] = {
    "VUZevod RUD must be installed in the ZEV! directory.",
    "VUZevod RUD doit \xEAtre install\xE9 dans le r\xE9pertoire de ZEV!",
    "VUZevod-RUD mu\xDF im ZEV!-Verzeichnis installiert sein.",
    "VUZevod RUD debe ser instalado en el directorio ZEV!.",
};
static const char ExitButtonText[] = "&Exit/Quitter/Verlassen";
static const char OkButtonText[] = "OK";

// The add-on mode's report, in a box captioned like the prompt.
static const char AddOnDoneText[] = "VUZevod RUD installation complete!";
static const char AddOnFailedText[] = "VUZevod RUD was NOT installed!";

// A second phase that did not start: the box's text is the head, the
// program's full path, the middle and why, captioned like the prompt.
static const char LaunchFailedHead[] = "The second phase of ZEV! Setup, ";
static const char LaunchFailedMiddle[] = ", could not be started: ";
static const char LaunchNotFound[] = "the file was not found.";
static const char LaunchNotProgram[] = "it is not a program that runs on this version of Windows.";

// The refusal of a platform that is too old.
static const char RefusalCaption[] = "Error";
static const char RefusalText[] =
    "ZEV! does not run on your version of NT software.  You must be running NT version 3.51 (or newer) or "
    "Windows 95.";

// The backdrop's window class, the prompt's owner.
static const char BackdropClass[] = "SetupWClass";
