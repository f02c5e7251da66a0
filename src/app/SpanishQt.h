#pragma once

// Qt's own texts in Spanish, as the window's are: the file dialog (its columns, buttons and
// places), its question before replacing a file, the buttons of every dialog. They come from
// Qt's translations as the distribution installs them (Debian: qt6-translations-l10n), with
// the few words Qt 6 asks for that those lack. Sizes in those dialogs follow Spanish usage;
// dates keep the system's own format. Returns whether the translations were found: without
// them Qt's texts stay in English and nothing else changes.
bool useSpanishForQt();
