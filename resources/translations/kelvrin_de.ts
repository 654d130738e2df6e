<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>PasteTableModel</name>
    <message>
        <source>No</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Inhalt</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
</context>
<context>
    <name>PasteWin</name>
    <message>
        <source>Set</source>
        <translation>Sammlung</translation>
    </message>
    <message>
        <source>Paste mode</source>
        <translation>Einfügemodus</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Type to filter</source>
        <translation>Zum Filtern tippen</translation>
    </message>
    <message>
        <source>Don&apos;t Keep</source>
        <extracomment>Declines, for good, to keep the clipboard history in a data folder</extracomment>
        <translation>Nicht aufbewahren</translation>
    </message>
    <message>
        <source>Keep</source>
        <extracomment>Keeps the clipboard history in the data folder offered</extracomment>
        <translation>Aufbewahren</translation>
    </message>
    <message>
        <source>Keep the clipboard history between sessions in %1? The data folder can be changed in the preferences.</source>
        <translation>Den Verlauf der Zwischenablage über die Sitzung hinaus in %1 aufbewahren? Der Datenordner lässt sich in den Einstellungen ändern.</translation>
    </message>
</context>
<context>
    <name>PasteWindow</name>
    <message>
        <source>text</source>
        <extracomment>The kind of a clipping of plain text, and the paste mode that pastes plain text alone; the other kinds and modes are the formats&apos; names (RTF, RTFD, TIFF, PICT, PDF).</extracomment>
        <translation>Text</translation>
    </message>
</context>
<context>
    <name>PreferencesWindow</name>
    <message>
        <source>Kelvrin Preferences</source>
        <translation>Kelvrin-Einstellungen</translation>
    </message>
    <message>
        <source>Hot key</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Strg</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>Shift</source>
        <translation>Umschalt</translation>
    </message>
    <message>
        <source>Super</source>
        <translation>Super</translation>
    </message>
    <message>
        <source>The key pressed with the modifiers</source>
        <translation>Die Taste, die zusammen mit den Zusatztasten gedrückt wird</translation>
    </message>
    <message>
        <source>Sets</source>
        <translation>Sammlungen</translation>
    </message>
    <message>
        <source>Clippings kept per set (1 to 100):</source>
        <translation>Einträge je Sammlung (1 bis 100):</translation>
    </message>
    <message>
        <source>Data folder:</source>
        <translation>Datenordner:</translation>
    </message>
    <message>
        <source>None: in memory only, not kept or shared</source>
        <translation>Keiner: nur im Speicher, nicht geteilt</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Auswählen …</translation>
    </message>
    <message>
        <source>A folder the sets are saved into or loaded from becomes the data folder</source>
        <translation>Beim Speichern oder Laden gewählten Ordner zum Datenordner machen</translation>
    </message>
    <message>
        <source>A clipping pasted from the history moves to its top</source>
        <translation>Aus dem Verlauf eingefügte Einträge an den Anfang verschieben</translation>
    </message>
    <message>
        <source>Save the sets into the data folder as they change</source>
        <translation>Sammlungen bei jeder Änderung im Datenordner speichern</translation>
    </message>
    <message>
        <source>Paste window</source>
        <translation>Einfügefenster</translation>
    </message>
    <message>
        <source>Hide after pasting</source>
        <translation>Nach dem Einfügen ausblenden</translation>
    </message>
    <message>
        <source>Hide whenever another program comes to the front</source>
        <translation>Ausblenden, sobald ein anderes Programm in den Vordergrund kommt</translation>
    </message>
    <message>
        <source>Always on top</source>
        <translation>Immer im Vordergrund</translation>
    </message>
    <message>
        <source>Opacity:</source>
        <translation>Deckkraft:</translation>
    </message>
    <message>
        <source>Row height:</source>
        <translation>Zeilenhöhe:</translation>
    </message>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>Keep the clipboard when the program that copied it quits</source>
        <translation>Zwischenablage behalten, wenn das Quellprogramm beendet wird</translation>
    </message>
    <message>
        <source>Start at login</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Left</source>
        <translation>Nach links</translation>
    </message>
    <message>
        <source>Right</source>
        <translation>Nach rechts</translation>
    </message>
    <message>
        <source>Wayland gives a program no way to keep its window above the others.</source>
        <translation>Unter Wayland kann ein Programm sein Fenster nicht über den anderen halten.</translation>
    </message>
    <message>
        <source>Pressed in any program, it brings up the paste window for that program. A key binding of your desktop&apos;s own may run &quot;kelvrin --paste-window&quot; instead.</source>
        <translation>In einem beliebigen Programm gedrückt, öffnet es das Einfügefenster für dieses Programm. Stattdessen kann auch ein Tastenkürzel Ihrer Arbeitsumgebung &quot;kelvrin --paste-window&quot; ausführen.</translation>
    </message>
    <message>
        <source>Wayland lets no program take a key for itself: bind a key of your compositor to &quot;kelvrin --paste-window&quot; (the README shows the lines for sway, Hyprland and KDE).</source>
        <translation>Unter Wayland darf kein Programm eine Taste für sich belegen: Legen Sie in Ihrem Compositor ein Tastenkürzel für &quot;kelvrin --paste-window&quot; an (die README zeigt die Zeilen für sway, Hyprland und KDE).</translation>
    </message>
</context>
<context>
    <name>SetDeleteWindow</name>
    <message>
        <source>Delete Set</source>
        <translation>Sammlung löschen</translation>
    </message>
    <message>
        <source>Delete the set:</source>
        <translation>Diese Sammlung löschen:</translation>
    </message>
    <message>
        <source>Also delete its file in the data folder</source>
        <translation>Auch ihre Datei im Datenordner löschen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>SetSelectWindow</name>
    <message>
        <source>Add to Set</source>
        <translation>Zu Sammlung hinzufügen</translation>
    </message>
    <message>
        <source>Copy the selected clippings into the set:</source>
        <translation>Die ausgewählten Einträge in diese Sammlung kopieren:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
