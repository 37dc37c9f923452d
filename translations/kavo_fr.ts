<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>AppDelegate</name>
    <message>
        <source>Kavo couldn&apos;t save its settings</source>
        <translation>Kavo n’a pas pu enregistrer ses réglages</translation>
    </message>
    <message>
        <source>Kavo keeps working with its default settings, but changes to them will not be kept.</source>
        <translation>Kavo continue de fonctionner avec ses réglages par défaut, mais les modifications ne seront pas conservées.</translation>
    </message>
    <message>
        <source>Kavo could not use %1</source>
        <translation>Kavo n’a pas pu utiliser %1</translation>
    </message>
    <message>
        <source>The desktop did not take this shortcut. To open shelves with a key, bind the command “kavo --new-shelf” to it in the desktop&apos;s own shortcut settings (in KDE Plasma: System Settings, Shortcuts, Add New, Command or Script), or open shelves from the tray menu.</source>
        <translation>Le bureau n’a pas pris ce raccourci. Pour ouvrir des étagères avec une touche, associez-lui la commande «&#xa0;kavo --new-shelf&#xa0;» dans les réglages de raccourcis du bureau (dans KDE Plasma&#xa0;: Configuration du système, Raccourcis, Ajouter nouveau, Commande ou script), ou ouvrez les étagères depuis le menu de la zone de notification.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>The desktop refused this shortcut. Choose another one, or open shelves from the tray menu.</source>
        <translation>Le bureau a refusé ce raccourci. Choisissez-en un autre, ou ouvrez les étagères depuis le menu de la zone de notification.</translation>
    </message>
    <message>
        <source>Another program already uses this shortcut. Choose another one, or open shelves with a shake or from the tray menu.</source>
        <translation>Un autre programme utilise déjà ce raccourci. Choisissez-en un autre, ou ouvrez les étagères en secouant ou depuis le menu de la zone de notification.</translation>
    </message>
    <message>
        <source>Choose Shortcut…</source>
        <translation>Choisir un raccourci…</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>--list takes no arguments</source>
        <translation>--list n’accepte aucun argument</translation>
    </message>
    <message>
        <source>no such file: %1</source>
        <translation>fichier introuvable&#xa0;: %1</translation>
    </message>
    <message>
        <source>unknown option: %1</source>
        <translation>option inconnue&#xa0;: %1</translation>
    </message>
    <message>
        <source>unexpected argument: %1</source>
        <translation>argument inattendu&#xa0;: %1</translation>
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
        <translation>Utilisation&#xa0;: kavo [COMMANDE]
Des étagères temporaires pour vos fichiers&#xa0;: faites glisser un fichier en
secouant le pointeur, appuyez sur Ctrl+Alt+Espace (ou la touche choisie dans
le menu), ou choisissez «&#xa0;Nouvelle étagère&#xa0;» dans le menu de la zone de
notification.

Commandes&#xa0;:
  (aucune)                   démarrer Kavo (une fois par utilisateur et écran)
  --new-shelf [FICHIER...]   ouvrir sous le pointeur une étagère contenant
                             les fichiers (démarre Kavo s’il ne tourne pas)
  --list                     afficher en JSON les étagères ouvertes du Kavo
                             en cours
  --snapshot DOSSIER [FICHIER...]
                             écrire des images d’une étagère dans DOSSIER,
                             puis quitter
  --help                     afficher cette aide
  --version                  afficher la version

Sous Wayland, la touche agit dans toutes les fenêtres si le bureau offre des
raccourcis globaux par son portail, sinon seulement au-dessus des fenêtres
X11&#xa0;: associez alors plutôt «&#xa0;kavo --new-shelf&#xa0;» à un raccourci dans les
réglages du bureau.
Les touches d’une étagère, de sa liste et de l’aperçu sont dans kavo(1).
</translation>
    </message>
</context>
<context>
    <name>CommandServer</name>
    <message>
        <source>not a request</source>
        <translation>ce n’est pas une requête</translation>
    </message>
    <message>
        <source>the request names no command</source>
        <translation>la requête ne nomme aucune commande</translation>
    </message>
    <message>
        <source>unknown command: %1</source>
        <translation>commande inconnue&#xa0;: %1</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 n’accepte pas «&#xa0;%2&#xa0;»</translation>
    </message>
    <message>
        <source>&quot;files&quot; must be a list of file names</source>
        <translation>«&#xa0;files&#xa0;» doit être une liste de noms de fichiers</translation>
    </message>
    <message>
        <source>too many files: %1, at most %2</source>
        <translation>trop de fichiers&#xa0;: %1, au plus %2</translation>
    </message>
    <message>
        <source>a file name is empty</source>
        <translation>un nom de fichier est vide</translation>
    </message>
    <message>
        <source>a file name is longer than %1 characters</source>
        <translation>un nom de fichier dépasse %1 caractères</translation>
    </message>
    <message>
        <source>not a local file: %1</source>
        <translation>ce n’est pas un fichier local&#xa0;: %1</translation>
    </message>
    <message>
        <source>the shelf was closed before its files were on it</source>
        <translation>l’étagère a été fermée avant que ses fichiers n’y soient posés</translation>
    </message>
</context>
<context>
    <name>DropFolders</name>
    <message>
        <source>%1 is not a folder (a link is not followed)</source>
        <translation>%1 n’est pas un dossier (les liens symboliques ne sont pas suivis)</translation>
    </message>
</context>
<context>
    <name>DropReader</name>
    <message>
        <source>The program that holds the clipboard stopped answering.</source>
        <translation>Le programme qui détient le presse-papiers ne répond plus.</translation>
    </message>
    <message>
        <source>The program that holds the clipboard took too long to hand it over.</source>
        <translation>Le programme qui détient le presse-papiers a mis trop de temps à le transmettre.</translation>
    </message>
    <message>
        <source>What the clipboard holds is larger than %1.</source>
        <translation>Le contenu du presse-papiers dépasse %1.</translation>
    </message>
    <message>
        <source>Couldn&apos;t paste</source>
        <translation>Impossible de coller</translation>
    </message>
    <message>
        <source>Nothing was added to the shelf.</source>
        <translation>Rien n’a été ajouté à l’étagère.</translation>
    </message>
    <message>
        <source>Couldn&apos;t save what was dropped</source>
        <translation>Impossible d’enregistrer ce qui a été déposé</translation>
    </message>
    <message>
        <source>Couldn&apos;t save “%1”</source>
        <translation>Impossible d’enregistrer «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Its picture was added to the shelf instead.</source>
        <translation>Son image a été ajoutée à l’étagère à la place.</translation>
    </message>
    <message>
        <source>Its link was added to the shelf instead.</source>
        <translation>Son lien a été ajouté à l’étagère à la place.</translation>
    </message>
    <message>
        <source>Its text was added to the shelf instead.</source>
        <translation>Son texte a été ajouté à l’étagère à la place.</translation>
    </message>
    <message>
        <source>Couldn&apos;t add the dropped files</source>
        <translation>Impossible d’ajouter les fichiers déposés</translation>
    </message>
    <message>
        <source>The program they came from did not hand them over through the desktop&apos;s file transfer portal.</source>
        <translation>Le programme d’où ils viennent ne les a pas transmis par le portail de transfert de fichiers du bureau.</translation>
    </message>
    <message>
        <source>Untitled</source>
        <translation>Sans titre</translation>
    </message>
    <message>
        <source>The program it came from saved nothing.</source>
        <translation>Le programme d’où il vient n’a rien enregistré.</translation>
    </message>
    <message>
        <source>The program it came from could not save it there.</source>
        <translation>Le programme d’où il vient n’a pas pu l’enregistrer à cet endroit.</translation>
    </message>
    <message>
        <source>The picture could not be converted to PNG.</source>
        <translation>L’image n’a pas pu être convertie en PNG.</translation>
    </message>
</context>
<context>
    <name>HotKey</name>
    <message>
        <source>Open a new shelf</source>
        <translation>Ouvrir une nouvelle étagère</translation>
    </message>
</context>
<context>
    <name>ItemRowView</name>
    <message>
        <source>Remove from shelf</source>
        <translation>Retirer de l’étagère</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Remove from Shelf</source>
        <translation>Retirer de l’étagère</translation>
    </message>
</context>
<context>
    <name>LoginItem</name>
    <message>
        <source>The autostart entry %1 could not be removed.</source>
        <translation>L’entrée de démarrage automatique %1 n’a pas pu être supprimée.</translation>
    </message>
    <message>
        <source>The folder %1 could not be created.</source>
        <translation>Le dossier %1 n’a pas pu être créé.</translation>
    </message>
    <message>
        <source>The autostart entry %1 could not be written (%2).</source>
        <translation>L’entrée de démarrage automatique %1 n’a pas pu être écrite (%2).</translation>
    </message>
</context>
<context>
    <name>Prefs</name>
    <message>
        <source>%1 cannot be written.</source>
        <translation>%1 ne peut pas être écrit.</translation>
    </message>
</context>
<context>
    <name>PreviewPanel</name>
    <message>
        <source>Showing the first %1 of %2</source>
        <translation>Seuls les %1 premiers sur %2 sont affichés</translation>
    </message>
    <message>
        <source>Showing only the beginning of the file</source>
        <translation>Seul le début du fichier est affiché</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>File contents</source>
        <translation>Contenu du fichier</translation>
    </message>
    <message>
        <source>Shown part of the file</source>
        <translation>Partie affichée du fichier</translation>
    </message>
    <message>
        <source>%1 (%L2 of %L3)</source>
        <translation>%1 (%L2 sur %L3)</translation>
    </message>
    <message>
        <source>No item</source>
        <translation>Aucun élément</translation>
    </message>
</context>
<context>
    <name>ShelfAccessible</name>
    <message>
        <source>Press to show the items as a list</source>
        <translation>Appuyez pour afficher les éléments en liste</translation>
    </message>
    <message>
        <source>Shows the items as a list</source>
        <translation>Affiche les éléments en liste</translation>
    </message>
    <message>
        <source>Empty shelf</source>
        <translation>Étagère vide</translation>
    </message>
    <message numerus="yes">
        <source>Shelf, %n items</source>
        <translation>
            <numerusform>Étagère, %n élément</numerusform>
            <numerusform>Étagère, %n éléments</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n items: %1</source>
        <translation>
            <numerusform>%n élément&#xa0;: %1</numerusform>
            <numerusform>%n éléments&#xa0;: %1</numerusform>
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
        <translation>Fermer l’étagère</translation>
    </message>
    <message>
        <source>Show items</source>
        <translation>Afficher les éléments</translation>
    </message>
    <message>
        <source>Kavo</source>
        <translation>Kavo</translation>
    </message>
    <message>
        <source>Show as stack</source>
        <translation>Afficher en pile</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message>
        <source>Share…</source>
        <translation>Partager…</translation>
    </message>
    <message>
        <source>Remove All</source>
        <translation>Tout retirer</translation>
    </message>
    <message>
        <source>Close Shelf</source>
        <translation>Fermer l’étagère</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Courriel</translation>
    </message>
    <message>
        <source>Bluetooth</source>
        <translation>Bluetooth</translation>
    </message>
    <message>
        <source>No sharing services</source>
        <translation>Aucun service de partage</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Coller</translation>
    </message>
</context>
<context>
    <name>ShelfJournal</name>
    <message>
        <source>an item is not a path with its flag</source>
        <translation>un élément n’est pas un chemin avec son indicateur</translation>
    </message>
    <message>
        <source>a path is too long</source>
        <translation>un chemin est trop long</translation>
    </message>
    <message>
        <source>a path is not an absolute file path</source>
        <translation>un chemin n’est pas un chemin de fichier absolu</translation>
    </message>
    <message>
        <source>the journal is too large</source>
        <translation>le journal est trop volumineux</translation>
    </message>
    <message>
        <source>the journal holds too many items</source>
        <translation>le journal contient trop d’éléments</translation>
    </message>
    <message>
        <source>the journal is not JSON</source>
        <translation>le journal n’est pas du JSON</translation>
    </message>
    <message>
        <source>the journal is not a list of shelves</source>
        <translation>le journal n’est pas une liste d’étagères</translation>
    </message>
    <message>
        <source>the journal holds too many shelves</source>
        <translation>le journal contient trop d’étagères</translation>
    </message>
    <message>
        <source>a shelf has no frame, mode or items</source>
        <translation>une étagère n’a ni cadre, ni mode, ni éléments</translation>
    </message>
    <message>
        <source>the journal is not a regular file</source>
        <translation>le journal n’est pas un fichier ordinaire</translation>
    </message>
</context>
<context>
    <name>ShelfJournalKeeper</name>
    <message>
        <source>Kavo couldn&apos;t reopen the shelves</source>
        <translation>Kavo n’a pas pu rouvrir les étagères</translation>
    </message>
    <message>
        <source>The list of open shelves could not be read (%1); it was kept as “%2”. Kavo starts with no shelves.</source>
        <translation>La liste des étagères ouvertes n’a pas pu être lue (%1)&#x202f;; elle a été conservée sous «&#xa0;%2&#xa0;». Kavo démarre sans étagère.</translation>
    </message>
    <message>
        <source>Kavo couldn&apos;t remember the open shelves</source>
        <translation>Kavo n’a pas pu mémoriser les étagères ouvertes</translation>
    </message>
    <message>
        <source>The list of open shelves could not be written to “%1”: %2. Kavo goes on, but after a crash or a restart the shelves will not come back.</source>
        <translation>La liste des étagères ouvertes n’a pas pu être écrite dans «&#xa0;%1&#xa0;»&#xa0;: %2. Kavo continue, mais après un plantage ou un redémarrage, les étagères ne reviendront pas.</translation>
    </message>
</context>
<context>
    <name>ShelfListAccessible</name>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Retirer</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Opens the file with its application</source>
        <translation>Ouvre le fichier avec son application</translation>
    </message>
    <message>
        <source>Takes the file off the shelf; the file stays where it is</source>
        <translation>Retire le fichier de l’étagère&#x202f;; le fichier reste où il est</translation>
    </message>
    <message>
        <source>Shows the file in its folder</source>
        <translation>Affiche le fichier dans son dossier</translation>
    </message>
    <message>
        <source>Remove from shelf</source>
        <translation>Retirer de l’étagère</translation>
    </message>
    <message>
        <source>Items</source>
        <translation>Éléments</translation>
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
        <translation>Étagère Kavo</translation>
    </message>
</context>
<context>
    <name>ShelfStore</name>
    <message>
        <source>Empty shelf</source>
        <translation>Étagère vide</translation>
    </message>
    <message numerus="yes">
        <source>%Ln items</source>
        <translation>
            <numerusform>%Ln élément</numerusform>
            <numerusform>%Ln éléments</numerusform>
        </translation>
    </message>
    <message>
        <source>Shake a drag or press Ctrl+Alt+Space</source>
        <translation>Secouez en glissant ou appuyez sur Ctrl+Alt+Espace</translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders</source>
        <translation>
            <numerusform>%Ln dossier</numerusform>
            <numerusform>%Ln dossiers</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ShortcutDialog</name>
    <message>
        <source>Keyboard Shortcut</source>
        <translation>Raccourci clavier</translation>
    </message>
    <message>
        <source>Press the keys that open a new shelf:</source>
        <translation>Appuyez sur les touches qui ouvriront une nouvelle étagère&#xa0;:</translation>
    </message>
    <message>
        <source>Hold Ctrl, Alt or Super with another key.</source>
        <translation>Maintenez Ctrl, Alt ou Super avec une autre touche.</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Rétablir</translation>
    </message>
    <message>
        <source>&amp;Turn Off</source>
        <translation>&amp;Désactiver</translation>
    </message>
    <message>
        <source>Desktop Settings…</source>
        <translation>Réglages du bureau…</translation>
    </message>
    <message>
        <source>%1 cannot be used: hold Ctrl, Alt or Super with another key.</source>
        <translation>%1 ne peut pas servir&#xa0;: maintenez Ctrl, Alt ou Super avec une autre touche.</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>too many commands at once</source>
        <translation>trop de commandes à la fois</translation>
    </message>
    <message>
        <source>too many other commands are waiting for it</source>
        <translation>trop d’autres commandes l’attendent</translation>
    </message>
    <message>
        <source>cannot reach %1: %2</source>
        <translation>impossible de joindre %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>%1 is held by another user (uid %2)</source>
        <translation>%1 appartient à un autre utilisateur (UID %2)</translation>
    </message>
    <message>
        <source>Kavo is too busy to answer: %1</source>
        <translation>Kavo est trop occupé pour répondre&#xa0;: %1</translation>
    </message>
    <message>
        <source>request too large</source>
        <translation>requête trop volumineuse</translation>
    </message>
    <message>
        <source>the request did not arrive in time</source>
        <translation>la requête n’est pas arrivée à temps</translation>
    </message>
    <message>
        <source>it is not a folder</source>
        <translation>ce n’est pas un dossier</translation>
    </message>
    <message>
        <source>it belongs to another user (uid %1)</source>
        <translation>il appartient à un autre utilisateur (UID %1)</translation>
    </message>
    <message>
        <source>others may use it (mode %1)</source>
        <translation>d’autres peuvent l’utiliser (mode %1)</translation>
    </message>
    <message>
        <source>cannot use %1 for Kavo&apos;s socket: %2. Remove it, or set XDG_RUNTIME_DIR to a private folder.</source>
        <translation>impossible d’utiliser %1 pour le socket de Kavo&#xa0;: %2. Supprimez-le, ou faites pointer XDG_RUNTIME_DIR vers un dossier privé.</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>impossible d’ouvrir %1&#xa0;: %2</translation>
    </message>
</context>
<context>
    <name>StackAreaView</name>
    <message>
        <source>Drop files here</source>
        <translation>Déposez des fichiers ici</translation>
    </message>
</context>
<context>
    <name>TrayMenu</name>
    <message>
        <source>A place to park files while you move them around.</source>
        <translation>Un endroit où poser vos fichiers pendant que vous les déplacez.</translation>
    </message>
    <message>
        <source>• Start dragging any file and give the mouse a quick shake. A shelf appears under the cursor, so drop the file on it.</source>
        <translation>• Commencez à faire glisser un fichier et secouez rapidement la souris. Une étagère apparaît sous le pointeur&#xa0;: déposez-y le fichier.</translation>
    </message>
    <message>
        <source>• Press Ctrl+Alt+Space, or use the tray icon in the system tray, to open an empty shelf.</source>
        <translation>• Appuyez sur Ctrl+Alt+Espace, ou utilisez l’icône de la zone de notification, pour ouvrir une étagère vide.</translation>
    </message>
    <message>
        <source>• Drag the stack off the shelf to drop every file at once, or click the list button to drag files one at a time.</source>
        <translation>• Faites glisser la pile hors de l’étagère pour déposer tous les fichiers d’un coup, ou cliquez sur le bouton de liste pour les faire glisser un par un.</translation>
    </message>
    <message>
        <source>Kavo doesn&apos;t need any special permissions.</source>
        <translation>Kavo n’a besoin d’aucune autorisation particulière.</translation>
    </message>
    <message>
        <source>Kavo</source>
        <translation>Kavo</translation>
    </message>
    <message>
        <source>Update Available: Kavo %1…</source>
        <translation>Mise à jour disponible&#xa0;: Kavo %1…</translation>
    </message>
    <message>
        <source>New Shelf</source>
        <translation>Nouvelle étagère</translation>
    </message>
    <message>
        <source>Open Shelves</source>
        <translation>Étagères ouvertes</translation>
    </message>
    <message>
        <source>Close All Shelves</source>
        <translation>Fermer toutes les étagères</translation>
    </message>
    <message>
        <source>Shake While Dragging to Open</source>
        <translation>Secouer en glissant pour ouvrir</translation>
    </message>
    <message>
        <source>Open at Login</source>
        <translation>Lancer à l’ouverture de session</translation>
    </message>
    <message>
        <source>Check for Updates Automatically</source>
        <translation>Rechercher automatiquement les mises à jour</translation>
    </message>
    <message>
        <source>Keyboard Shortcut…</source>
        <translation>Raccourci clavier…</translation>
    </message>
    <message>
        <source>Support Kavo on Ko-fi ☕</source>
        <translation>Soutenir Kavo sur Ko-fi ☕</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Rechercher des mises à jour…</translation>
    </message>
    <message>
        <source>How to Use Kavo…</source>
        <translation>Comment utiliser Kavo…</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Quit Kavo</source>
        <translation>Quitter Kavo</translation>
    </message>
    <message>
        <source>Couldn&apos;t change Open at Login</source>
        <translation>Impossible de modifier «&#xa0;Lancer à l’ouverture de session&#xa0;»</translation>
    </message>
    <message>
        <source>Make sure your autostart folder can be written, then try again. You can also add Kavo in your desktop&apos;s startup applications settings.</source>
        <translation>Vérifiez que votre dossier de démarrage automatique est accessible en écriture, puis réessayez. Vous pouvez aussi ajouter Kavo dans les réglages des applications au démarrage de votre bureau.</translation>
    </message>
    <message>
        <source>Got It</source>
        <translation>Compris</translation>
    </message>
    <message>
        <source>Kavo is free. If it saves you time, you can leave a tip on Ko-fi from the tray icon whenever you like.</source>
        <translation>Kavo est gratuit. S’il vous fait gagner du temps, vous pouvez laisser un pourboire sur Ko-fi depuis l’icône de la zone de notification quand vous le souhaitez.</translation>
    </message>
    <message>
        <source>Support on Ko-fi ☕</source>
        <translation>Soutenir sur Ko-fi ☕</translation>
    </message>
    <message>
        <source>Kavo is in your system tray</source>
        <translation>Kavo est dans votre zone de notification</translation>
    </message>
    <message>
        <source>New Shelf from Clipboard</source>
        <translation>Nouvelle étagère depuis le presse-papiers</translation>
    </message>
    <message>
        <source>Reopen Shelves at Start</source>
        <translation>Rouvrir les étagères au démarrage</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Impossible de rechercher les mises à jour</translation>
    </message>
    <message>
        <source>Kavo couldn&apos;t reach the update server. Check your internet connection and try again later.</source>
        <translation>Kavo n’a pas pu joindre le serveur de mises à jour. Vérifiez votre connexion à Internet et réessayez plus tard.</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Kavo est à jour</translation>
    </message>
    <message>
        <source>Kavo %1 is the latest version.</source>
        <translation>Kavo %1 est la dernière version.</translation>
    </message>
    <message>
        <source>You have version %1.</source>
        <translation>Vous avez la version %1.</translation>
    </message>
    <message>
        <source>Download it and install it over this version. Your settings are kept.</source>
        <translation>Téléchargez-la et installez-la par-dessus cette version. Vos réglages sont conservés.</translation>
    </message>
    <message>
        <source>Kavo %1 is available</source>
        <translation>Kavo %1 est disponible</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Plus tard</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>kavo: Kavo is not running
</source>
        <translation>kavo&#xa0;: Kavo n’est pas en cours d’exécution
</translation>
    </message>
    <message>
        <source>kavo: Kavo is running but does not answer
</source>
        <translation>kavo&#xa0;: Kavo est en cours d’exécution mais ne répond pas
</translation>
    </message>
    <message>
        <source>Kavo is already running.
</source>
        <translation>Kavo est déjà en cours d’exécution.
</translation>
    </message>
    <message>
        <source>kavo: this Wayland session has no XWayland display ($DISPLAY is empty); Kavo needs one.
</source>
        <translation>kavo&#xa0;: cette session Wayland n’a pas d’affichage XWayland ($DISPLAY est vide)&#xa0;; Kavo en a besoin.
</translation>
    </message>
    <message>
        <source>kavo: no display ($DISPLAY is empty). Kavo is a tray utility and needs a graphical session.
To render pictures of a shelf without one: kavo --snapshot DIR [FILE...]
</source>
        <translation>kavo&#xa0;: aucun affichage ($DISPLAY est vide). Kavo est un utilitaire de la zone de notification et a besoin d’une session graphique.
Pour produire des images d’une étagère sans affichage&#xa0;: kavo --snapshot DOSSIER [FICHIER...]
</translation>
    </message>
    <message>
        <source>kavo: %1
Try &apos;kavo --help&apos; for more information.
</source>
        <translation>kavo&#xa0;: %1
Saisissez «&#xa0;kavo --help&#xa0;» pour plus d’informations.
</translation>
    </message>
    <message>
        <source>kavo: cannot listen for commands: %1
</source>
        <translation>kavo&#xa0;: impossible d’écouter les commandes&#xa0;: %1
</translation>
    </message>
    <message>
        <source>kavo: could not write “%1”
</source>
        <translation>kavo&#xa0;: impossible d’écrire «&#xa0;%1&#xa0;»
</translation>
    </message>
    <message>
        <source>kavo: cannot load the program: %1
</source>
        <translation>kavo&#xa0;: impossible de charger le programme&#xa0;: %1
</translation>
    </message>
</context>
</TS>
