<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>AppDelegate</name>
    <message>
        <source>Kavo couldn&apos;t save its settings</source>
        <translation>Kavo konnte seine Einstellungen nicht speichern</translation>
    </message>
    <message>
        <source>Kavo keeps working with its default settings, but changes to them will not be kept.</source>
        <translation>Kavo arbeitet mit den Standardeinstellungen weiter, Änderungen daran werden aber nicht gespeichert.</translation>
    </message>
    <message>
        <source>Kavo could not use %1</source>
        <translation>Kavo konnte %1 nicht verwenden</translation>
    </message>
    <message>
        <source>The desktop did not take this shortcut. To open shelves with a key, bind the command “kavo --new-shelf” to it in the desktop&apos;s own shortcut settings (in KDE Plasma: System Settings, Shortcuts, Add New, Command or Script), or open shelves from the tray menu.</source>
        <translation>Die Arbeitsumgebung hat dieses Tastenkürzel nicht übernommen. Um Ablagen mit einer Taste zu öffnen, legen Sie in den Kurzbefehl-Einstellungen der Arbeitsumgebung den Befehl „kavo --new-shelf“ darauf (in KDE Plasma: Systemeinstellungen, Kurzbefehle, Neu hinzufügen, Befehl oder Skript), oder öffnen Sie Ablagen über das Menü im Infobereich.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>The desktop refused this shortcut. Choose another one, or open shelves from the tray menu.</source>
        <translation>Die Arbeitsumgebung hat dieses Tastenkürzel abgelehnt. Wählen Sie ein anderes, oder öffnen Sie Ablagen über das Menü im Infobereich.</translation>
    </message>
    <message>
        <source>Another program already uses this shortcut. Choose another one, or open shelves with a shake or from the tray menu.</source>
        <translation>Ein anderes Programm verwendet dieses Tastenkürzel bereits. Wählen Sie ein anderes, oder öffnen Sie Ablagen durch Schütteln oder über das Menü im Infobereich.</translation>
    </message>
    <message>
        <source>Choose Shortcut…</source>
        <translation>Tastenkürzel wählen…</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>--list takes no arguments</source>
        <translation>--list erwartet keine Argumente</translation>
    </message>
    <message>
        <source>no such file: %1</source>
        <translation>Datei nicht gefunden: %1</translation>
    </message>
    <message>
        <source>unknown option: %1</source>
        <translation>unbekannte Option: %1</translation>
    </message>
    <message>
        <source>unexpected argument: %1</source>
        <translation>unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>Usage: kavo [COMMAND]
Temporary shelves for files: drag a file and shake the pointer, press
Ctrl+Alt+Space (or the key chosen in the tray menu), or choose New Shelf
in the tray menu.

Commands:
  (none)                     start Kavo (once per user and display)
  --new-shelf [FILE...]      open a shelf at the pointer holding the files
                             (starts Kavo if it is not running)
  --list                     print the open shelves of the running Kavo as JSON
  --snapshot DIR [FILE...]   write pictures of a shelf to DIR and exit
  --help                     show this help
  --version                  show the version

On Wayland the key works in every window where the desktop offers global
shortcuts through its portal, elsewhere only over X11 windows: there, bind
&quot;kavo --new-shelf&quot; to a shortcut in the desktop&apos;s settings instead.
The keys of a shelf, of its list and of the preview are in kavo(1).
</source>
        <translation>Aufruf: kavo [BEFEHL]
Ablagen auf Zeit für Dateien: Ziehen Sie eine Datei und schütteln Sie den
Zeiger, drücken Sie Strg+Alt+Leertaste (oder die im Menü gewählte Taste),
oder wählen Sie „Neue Ablage“ im Menü im Infobereich.

Befehle:
  (keiner)                   Kavo starten (einmal je Benutzer und Bildschirm)
  --new-shelf [DATEI...]     eine Ablage mit den Dateien am Zeiger öffnen
                             (startet Kavo, falls es nicht läuft)
  --list                     die offenen Ablagen des laufenden Kavo als JSON
                             ausgeben
  --snapshot ORDNER [DATEI...]
                             Bilder einer Ablage in ORDNER schreiben, dann
                             beenden
  --help                     diese Hilfe anzeigen
  --version                  die Version anzeigen

Unter Wayland wirkt die Taste in jedem Fenster, wo die Arbeitsumgebung
globale Kurzbefehle über ihr Portal anbietet, sonst nur über X11-Fenstern:
legen Sie dort stattdessen „kavo --new-shelf“ in den Einstellungen der
Arbeitsumgebung auf ein Tastenkürzel.
Die Tasten einer Ablage, ihrer Liste und der Vorschau stehen in kavo(1).
</translation>
    </message>
</context>
<context>
    <name>CommandServer</name>
    <message>
        <source>not a request</source>
        <translation>keine Anfrage</translation>
    </message>
    <message>
        <source>the request names no command</source>
        <translation>die Anfrage nennt keinen Befehl</translation>
    </message>
    <message>
        <source>unknown command: %1</source>
        <translation>unbekannter Befehl: %1</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 erwartet kein „%2“</translation>
    </message>
    <message>
        <source>&quot;files&quot; must be a list of file names</source>
        <translation>„files“ muss eine Liste von Dateinamen sein</translation>
    </message>
    <message>
        <source>too many files: %1, at most %2</source>
        <translation>zu viele Dateien: %1, höchstens %2</translation>
    </message>
    <message>
        <source>a file name is empty</source>
        <translation>ein Dateiname ist leer</translation>
    </message>
    <message>
        <source>a file name is longer than %1 characters</source>
        <translation>ein Dateiname ist länger als %1 Zeichen</translation>
    </message>
    <message>
        <source>not a local file: %1</source>
        <translation>keine lokale Datei: %1</translation>
    </message>
    <message>
        <source>the shelf was closed before its files were on it</source>
        <translation>die Ablage wurde geschlossen, bevor ihre Dateien darauf lagen</translation>
    </message>
</context>
<context>
    <name>DropFolders</name>
    <message>
        <source>%1 is not a folder (a link is not followed)</source>
        <translation>%1 ist kein Ordner (symbolischen Verknüpfungen wird nicht gefolgt)</translation>
    </message>
</context>
<context>
    <name>DropReader</name>
    <message>
        <source>The program that holds the clipboard stopped answering.</source>
        <translation>Das Programm, dem die Zwischenablage gehört, antwortet nicht mehr.</translation>
    </message>
    <message>
        <source>The program that holds the clipboard took too long to hand it over.</source>
        <translation>Das Programm, dem die Zwischenablage gehört, hat zu lange gebraucht, um sie zu übergeben.</translation>
    </message>
    <message>
        <source>What the clipboard holds is larger than %1.</source>
        <translation>Der Inhalt der Zwischenablage ist größer als %1.</translation>
    </message>
    <message>
        <source>Couldn&apos;t paste</source>
        <translation>Einfügen nicht möglich</translation>
    </message>
    <message>
        <source>Nothing was added to the shelf.</source>
        <translation>Der Ablage wurde nichts hinzugefügt.</translation>
    </message>
    <message>
        <source>Couldn&apos;t save what was dropped</source>
        <translation>Das Abgelegte konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Couldn&apos;t save “%1”</source>
        <translation>„%1“ konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Its picture was added to the shelf instead.</source>
        <translation>Stattdessen wurde sein Bild der Ablage hinzugefügt.</translation>
    </message>
    <message>
        <source>Its link was added to the shelf instead.</source>
        <translation>Stattdessen wurde sein Link der Ablage hinzugefügt.</translation>
    </message>
    <message>
        <source>Its text was added to the shelf instead.</source>
        <translation>Stattdessen wurde sein Text der Ablage hinzugefügt.</translation>
    </message>
    <message>
        <source>Couldn&apos;t add the dropped files</source>
        <translation>Die abgelegten Dateien konnten nicht hinzugefügt werden</translation>
    </message>
    <message>
        <source>The program they came from did not hand them over through the desktop&apos;s file transfer portal.</source>
        <translation>Das Programm, aus dem sie kamen, hat sie nicht über das Dateiübertragungsportal der Arbeitsumgebung übergeben.</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>Unbenannt</translation>
    </message>
    <message>
        <source>The program it came from saved nothing.</source>
        <translation>Das Programm, aus dem es kam, hat nichts gespeichert.</translation>
    </message>
    <message>
        <source>The program it came from could not save it there.</source>
        <translation>Das Programm, aus dem es kam, konnte es dort nicht speichern.</translation>
    </message>
    <message>
        <source>The picture could not be converted to PNG.</source>
        <translation>Das Bild konnte nicht in PNG umgewandelt werden.</translation>
    </message>
</context>
<context>
    <name>HotKey</name>
    <message>
        <source>Open a new shelf</source>
        <translation>Neue Ablage öffnen</translation>
    </message>
</context>
<context>
    <name>ItemRowView</name>
    <message>
        <source>Remove from shelf</source>
        <translation>Von der Ablage entfernen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager anzeigen</translation>
    </message>
    <message>
        <source>Remove from Shelf</source>
        <translation>Von der Ablage entfernen</translation>
    </message>
</context>
<context>
    <name>LoginItem</name>
    <message>
        <source>The autostart entry %1 could not be removed.</source>
        <translation>Der Autostart-Eintrag %1 konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>The folder %1 could not be created.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>The autostart entry %1 could not be written (%2).</source>
        <translation>Der Autostart-Eintrag %1 konnte nicht geschrieben werden (%2).</translation>
    </message>
</context>
<context>
    <name>Prefs</name>
    <message>
        <source>%1 cannot be written.</source>
        <translation>%1 kann nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>PreviewPanel</name>
    <message>
        <source>Showing the first %1 of %2</source>
        <translation>Angezeigt werden die ersten %1 von %2</translation>
    </message>
    <message>
        <source>Showing only the beginning of the file</source>
        <translation>Nur der Anfang der Datei wird angezeigt</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>File contents</source>
        <translation>Dateiinhalt</translation>
    </message>
    <message>
        <source>Shown part of the file</source>
        <translation>Angezeigter Teil der Datei</translation>
    </message>
    <message>
        <source>%1 (%L2 of %L3)</source>
        <translation>%1 (%L2 von %L3)</translation>
    </message>
    <message>
        <source>No item</source>
        <translation>Kein Objekt</translation>
    </message>
</context>
<context>
    <name>ShelfAccessible</name>
    <message>
        <source>Press to show the items as a list</source>
        <translation>Drücken, um die Objekte als Liste anzuzeigen</translation>
    </message>
    <message>
        <source>Shows the items as a list</source>
        <translation>Zeigt die Objekte als Liste an</translation>
    </message>
    <message>
        <source>Empty shelf</source>
        <translation>Leere Ablage</translation>
    </message>
    <message numerus="yes">
        <source>Shelf, %n items</source>
        <translation>
            <numerusform>Ablage, %n Objekt</numerusform>
            <numerusform>Ablage, %n Objekte</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n items: %1</source>
        <translation>
            <numerusform>%n Objekt: %1</numerusform>
            <numerusform>%n Objekte: %1</numerusform>
        </translation>
    </message>
    <message>
        <source>, </source>
        <comment>between the names of files</comment>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>ShelfContentView</name>
    <message>
        <source>Close shelf</source>
        <translation>Ablage schließen</translation>
    </message>
    <message>
        <source>Show items</source>
        <translation>Objekte anzeigen</translation>
    </message>
    <message>
        <source>Kavo</source>
        <translation>Kavo</translation>
    </message>
    <message>
        <source>Show as stack</source>
        <translation>Als Stapel anzeigen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager anzeigen</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>Teilen…</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Close Shelf</source>
        <translation>Ablage schließen</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Bluetooth</source>
        <translation>Bluetooth</translation>
    </message>
    <message>
        <source>No sharing services</source>
        <translation>Keine Dienste zum Teilen</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
</context>
<context>
    <name>ShelfJournal</name>
    <message>
        <source>an item is not a path with its flag</source>
        <translation>ein Objekt ist kein Pfad mit seiner Markierung</translation>
    </message>
    <message>
        <source>a path is too long</source>
        <translation>ein Pfad ist zu lang</translation>
    </message>
    <message>
        <source>a path is not an absolute file path</source>
        <translation>ein Pfad ist kein absoluter Dateipfad</translation>
    </message>
    <message>
        <source>the journal is too large</source>
        <translation>die Journaldatei ist zu groß</translation>
    </message>
    <message>
        <source>the journal holds too many items</source>
        <translation>die Journaldatei enthält zu viele Objekte</translation>
    </message>
    <message>
        <source>the journal is not JSON</source>
        <translation>die Journaldatei ist kein JSON</translation>
    </message>
    <message>
        <source>the journal is not a list of shelves</source>
        <translation>die Journaldatei ist keine Liste von Ablagen</translation>
    </message>
    <message>
        <source>the journal holds too many shelves</source>
        <translation>die Journaldatei enthält zu viele Ablagen</translation>
    </message>
    <message>
        <source>a shelf has no frame, mode or items</source>
        <translation>einer Ablage fehlen Rahmen, Modus oder Objekte</translation>
    </message>
    <message>
        <source>the journal is not a regular file</source>
        <translation>die Journaldatei ist keine reguläre Datei</translation>
    </message>
</context>
<context>
    <name>ShelfJournalKeeper</name>
    <message>
        <source>Kavo couldn&apos;t reopen the shelves</source>
        <translation>Kavo konnte die Ablagen nicht wieder öffnen</translation>
    </message>
    <message>
        <source>The list of open shelves could not be read (%1); it was kept as “%2”. Kavo starts with no shelves.</source>
        <translation>Die Liste der offenen Ablagen konnte nicht gelesen werden (%1); sie wurde als „%2“ aufbewahrt. Kavo startet ohne Ablagen.</translation>
    </message>
    <message>
        <source>Kavo couldn&apos;t remember the open shelves</source>
        <translation>Kavo konnte sich die offenen Ablagen nicht merken</translation>
    </message>
    <message>
        <source>The list of open shelves could not be written to “%1”: %2. Kavo goes on, but after a crash or a restart the shelves will not come back.</source>
        <translation>Die Liste der offenen Ablagen konnte nicht nach „%1“ geschrieben werden: %2. Kavo arbeitet weiter, aber nach einem Absturz oder Neustart kommen die Ablagen nicht wieder.</translation>
    </message>
</context>
<context>
    <name>ShelfListAccessible</name>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager anzeigen</translation>
    </message>
    <message>
        <source>Opens the file with its application</source>
        <translation>Öffnet die Datei mit ihrem Programm</translation>
    </message>
    <message>
        <source>Takes the file off the shelf; the file stays where it is</source>
        <translation>Nimmt die Datei von der Ablage; die Datei bleibt, wo sie ist</translation>
    </message>
    <message>
        <source>Shows the file in its folder</source>
        <translation>Zeigt die Datei in ihrem Ordner</translation>
    </message>
    <message>
        <source>Remove from shelf</source>
        <translation>Von der Ablage entfernen</translation>
    </message>
    <message>
        <source>Items</source>
        <translation>Objekte</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <extracomment>An item of the list read aloud: its kind, then its size (&quot;PNG image, 9.1 MB&quot;).</extracomment>
        <translation>%1, %2</translation>
    </message>
</context>
<context>
    <name>ShelfPanel</name>
    <message>
        <source>Kavo Shelf</source>
        <translation>Kavo-Ablage</translation>
    </message>
</context>
<context>
    <name>ShelfStore</name>
    <message>
        <source>Empty shelf</source>
        <translation>Leere Ablage</translation>
    </message>
    <message numerus="yes">
        <source>%Ln items</source>
        <translation>
            <numerusform>%Ln Objekt</numerusform>
            <numerusform>%Ln Objekte</numerusform>
        </translation>
    </message>
    <message>
        <source>Shake a drag or press Ctrl+Alt+Space</source>
        <translation>Beim Ziehen schütteln oder Strg+Alt+Leertaste drücken</translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders</source>
        <translation>
            <numerusform>%Ln Ordner</numerusform>
            <numerusform>%Ln Ordner</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ShortcutDialog</name>
    <message>
        <source>Keyboard Shortcut</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Press the keys that open a new shelf:</source>
        <translation>Drücken Sie die Tasten, die eine neue Ablage öffnen sollen:</translation>
    </message>
    <message>
        <source>Hold Ctrl, Alt or Super with another key.</source>
        <translation>Halten Sie Strg, Alt oder Super zusammen mit einer anderen Taste.</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Zurücksetzen</translation>
    </message>
    <message>
        <source>&amp;Turn Off</source>
        <translation>&amp;Ausschalten</translation>
    </message>
    <message>
        <source>Desktop Settings…</source>
        <translation>Einstellungen der Arbeitsumgebung…</translation>
    </message>
    <message>
        <source>%1 cannot be used: hold Ctrl, Alt or Super with another key.</source>
        <translation>%1 ist nicht verwendbar: Halten Sie Strg, Alt oder Super zusammen mit einer anderen Taste.</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>too many commands at once</source>
        <translation>zu viele Befehle auf einmal</translation>
    </message>
    <message>
        <source>too many other commands are waiting for it</source>
        <translation>zu viele andere Befehle warten darauf</translation>
    </message>
    <message>
        <source>cannot reach %1: %2</source>
        <translation>%1 ist nicht erreichbar: %2</translation>
    </message>
    <message>
        <source>%1 is held by another user (uid %2)</source>
        <translation>%1 gehört einem anderen Benutzer (UID %2)</translation>
    </message>
    <message>
        <source>Kavo is too busy to answer: %1</source>
        <translation>Kavo ist zu beschäftigt, um zu antworten: %1</translation>
    </message>
    <message>
        <source>request too large</source>
        <translation>Anfrage zu groß</translation>
    </message>
    <message>
        <source>the request did not arrive in time</source>
        <translation>die Anfrage kam nicht rechtzeitig an</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>es ist kein Ordner</translation>
    </message>
    <message>
        <source>it belongs to another user (uid %1)</source>
        <translation>es gehört einem anderen Benutzer (UID %1)</translation>
    </message>
    <message>
        <source>others may use it (mode %1)</source>
        <translation>andere dürfen es verwenden (Modus %1)</translation>
    </message>
    <message>
        <source>cannot use %1 for Kavo&apos;s socket: %2. Remove it, or set XDG_RUNTIME_DIR to a private folder.</source>
        <translation>%1 kann nicht für den Socket von Kavo verwendet werden: %2. Entfernen Sie es, oder setzen Sie XDG_RUNTIME_DIR auf einen privaten Ordner.</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>StackAreaView</name>
    <message>
        <source>Drop files here</source>
        <translation>Dateien hier ablegen</translation>
    </message>
</context>
<context>
    <name>TrayMenu</name>
    <message>
        <source>A place to park files while you move them around.</source>
        <translation>Ein Ort, an dem Dateien warten, während Sie sie verschieben.</translation>
    </message>
    <message>
        <source>• Start dragging any file and give the mouse a quick shake. A shelf appears under the cursor, so drop the file on it.</source>
        <translation>• Ziehen Sie eine beliebige Datei und schütteln Sie dabei kurz die Maus. Unter dem Zeiger erscheint eine Ablage: Legen Sie die Datei darauf ab.</translation>
    </message>
    <message>
        <source>• Press Ctrl+Alt+Space, or use the tray icon in the system tray, to open an empty shelf.</source>
        <translation>• Drücken Sie Strg+Alt+Leertaste oder verwenden Sie das Symbol im Infobereich, um eine leere Ablage zu öffnen.</translation>
    </message>
    <message>
        <source>• Drag the stack off the shelf to drop every file at once, or click the list button to drag files one at a time.</source>
        <translation>• Ziehen Sie den Stapel von der Ablage, um alle Dateien auf einmal abzulegen, oder klicken Sie auf den Listenknopf, um die Dateien einzeln zu ziehen.</translation>
    </message>
    <message>
        <source>Kavo doesn&apos;t need any special permissions.</source>
        <translation>Kavo braucht keine besonderen Berechtigungen.</translation>
    </message>
    <message>
        <source>Kavo</source>
        <translation>Kavo</translation>
    </message>
    <message>
        <source>Update Available: Kavo %1…</source>
        <translation>Aktualisierung verfügbar: Kavo %1…</translation>
    </message>
    <message>
        <source>New Shelf</source>
        <translation>Neue Ablage</translation>
    </message>
    <message>
        <source>Open Shelves</source>
        <translation>Offene Ablagen</translation>
    </message>
    <message>
        <source>Close All Shelves</source>
        <translation>Alle Ablagen schließen</translation>
    </message>
    <message>
        <source>Shake While Dragging to Open</source>
        <translation>Öffnen durch Schütteln beim Ziehen</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Check for Updates Automatically</source>
        <translation>Automatisch nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Keyboard Shortcut…</source>
        <translation>Tastenkürzel…</translation>
    </message>
    <message>
        <source>Support Kavo on Ko-fi ☕</source>
        <translation>Kavo auf Ko-fi unterstützen ☕</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Aktualisierungen suchen…</translation>
    </message>
    <message>
        <source>How to Use Kavo…</source>
        <translation>So funktioniert Kavo…</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Quit Kavo</source>
        <translation>Kavo beenden</translation>
    </message>
    <message>
        <source>Couldn&apos;t change Open at Login</source>
        <translation>„Bei der Anmeldung starten“ konnte nicht geändert werden</translation>
    </message>
    <message>
        <source>Make sure your autostart folder can be written, then try again. You can also add Kavo in your desktop&apos;s startup applications settings.</source>
        <translation>Stellen Sie sicher, dass Ihr Autostart-Ordner beschreibbar ist, und versuchen Sie es erneut. Sie können Kavo auch in den Autostart-Einstellungen Ihrer Arbeitsumgebung hinzufügen.</translation>
    </message>
    <message>
        <source>Got It</source>
        <translation>Verstanden</translation>
    </message>
    <message>
        <source>Kavo is free. If it saves you time, you can leave a tip on Ko-fi from the tray icon whenever you like.</source>
        <translation>Kavo ist kostenlos. Wenn es Ihnen Zeit spart, können Sie jederzeit über das Symbol im Infobereich ein Trinkgeld auf Ko-fi geben.</translation>
    </message>
    <message>
        <source>Support on Ko-fi ☕</source>
        <translation>Auf Ko-fi unterstützen ☕</translation>
    </message>
    <message>
        <source>Kavo is in your system tray</source>
        <translation>Kavo ist jetzt im Infobereich</translation>
    </message>
    <message>
        <source>New Shelf from Clipboard</source>
        <translation>Neue Ablage aus der Zwischenablage</translation>
    </message>
    <message>
        <source>Reopen Shelves at Start</source>
        <translation>Ablagen beim Start wieder öffnen</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Suche nach Aktualisierungen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Kavo couldn&apos;t reach the update server. Check your internet connection and try again later.</source>
        <translation>Kavo konnte den Aktualisierungsserver nicht erreichen. Prüfen Sie Ihre Internetverbindung und versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Kavo ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Kavo %1 is the latest version.</source>
        <translation>Kavo %1 ist die neueste Version.</translation>
    </message>
    <message>
        <source>You have version %1.</source>
        <translation>Sie haben Version %1.</translation>
    </message>
    <message>
        <source>Download it and install it over this version. Your settings are kept.</source>
        <translation>Laden Sie sie herunter und installieren Sie sie über diese Version. Ihre Einstellungen bleiben erhalten.</translation>
    </message>
    <message>
        <source>Kavo %1 is available</source>
        <translation>Kavo %1 ist verfügbar</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>kavo: Kavo is not running
</source>
        <translation>kavo: Kavo läuft nicht
</translation>
    </message>
    <message>
        <source>kavo: Kavo is running but does not answer
</source>
        <translation>kavo: Kavo läuft, antwortet aber nicht
</translation>
    </message>
    <message>
        <source>Kavo is already running.
</source>
        <translation>Kavo läuft bereits.
</translation>
    </message>
    <message>
        <source>kavo: this Wayland session has no XWayland display ($DISPLAY is empty); Kavo needs one.
</source>
        <translation>kavo: Diese Wayland-Sitzung hat keinen XWayland-Bildschirm ($DISPLAY ist leer); Kavo braucht einen.
</translation>
    </message>
    <message>
        <source>kavo: no display ($DISPLAY is empty). Kavo is a tray utility and needs a graphical session.
To render pictures of a shelf without one: kavo --snapshot DIR [FILE...]
</source>
        <translation>kavo: kein Bildschirm ($DISPLAY ist leer). Kavo ist ein Werkzeug für den Infobereich und braucht eine grafische Sitzung.
Bilder einer Ablage ohne Bildschirm erzeugen: kavo --snapshot ORDNER [DATEI...]
</translation>
    </message>
    <message>
        <source>kavo: %1
Try &apos;kavo --help&apos; for more information.
</source>
        <translation>kavo: %1
„kavo --help“ zeigt weitere Informationen.
</translation>
    </message>
    <message>
        <source>kavo: cannot listen for commands: %1
</source>
        <translation>kavo: Befehle können nicht empfangen werden: %1
</translation>
    </message>
    <message>
        <source>kavo: could not write “%1”
</source>
        <translation>kavo: „%1“ konnte nicht geschrieben werden
</translation>
    </message>
    <message>
        <source>kavo: cannot load the program: %1
</source>
        <translation>kavo: das Programm kann nicht geladen werden: %1
</translation>
    </message>
</context>
</TS>
