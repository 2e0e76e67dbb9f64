<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AudioError</name>
    <message>
        <source>Couldn&apos;t %1 (error %2)</source>
        <extracomment>%1 is the failed step, such as &quot;create tap&quot;; %2 the audio system&apos;s error number.</extracomment>
        <translation>%1 ist fehlgeschlagen (Fehler %2)</translation>
    </message>
    <message>
        <source>create tap</source>
        <translation>Das Anlegen des Audio-Abgriffs</translation>
    </message>
    <message>
        <source>create aggregate device</source>
        <translation>Das Anlegen des Geräteverbunds</translation>
    </message>
    <message>
        <source>create IO proc</source>
        <translation>Das Anlegen der Ein-/Ausgaberoutine</translation>
    </message>
    <message>
        <source>start audio</source>
        <translation>Das Starten der Audiowiedergabe</translation>
    </message>
    <message>
        <source>set the application&apos;s volume</source>
        <translation>Das Setzen der Lautstärke der Anwendung</translation>
    </message>
</context>
<context>
    <name>DesktopCalls</name>
    <message>
        <source>Calls</source>
        <translation>Anrufe</translation>
    </message>
</context>
<context>
    <name>Json</name>
    <message>
        <source>unexpected text after the value</source>
        <translation>unerwarteter Text nach dem Wert</translation>
    </message>
    <message>
        <source>line %1, column %2: %3</source>
        <extracomment>Where a settings file goes wrong (%1, %2), and what is wrong there (%3).</extracomment>
        <translation>Zeile %1, Spalte %2: %3</translation>
    </message>
    <message>
        <source>unknown word</source>
        <translation>unbekanntes Wort</translation>
    </message>
    <message>
        <source>null is not a storable value</source>
        <translation>null ist kein speicherbarer Wert</translation>
    </message>
    <message>
        <source>unexpected end of text</source>
        <translation>unerwartetes Ende des Textes</translation>
    </message>
    <message>
        <source>unexpected character</source>
        <translation>unerwartetes Zeichen</translation>
    </message>
    <message>
        <source>nested too deeply</source>
        <translation>zu tief verschachtelt</translation>
    </message>
    <message>
        <source>expected a key in quotes</source>
        <translation>Schlüssel in Anführungszeichen erwartet</translation>
    </message>
    <message>
        <source>expected &apos;:&apos;</source>
        <translation>„:“ erwartet</translation>
    </message>
    <message>
        <source>the same key appears twice</source>
        <translation>derselbe Schlüssel kommt zweimal vor</translation>
    </message>
    <message>
        <source>expected &apos;,&apos; or &apos;}&apos;</source>
        <translation>„,“ oder „}“ erwartet</translation>
    </message>
    <message>
        <source>expected &apos;,&apos; or &apos;]&apos;</source>
        <translation>„,“ oder „]“ erwartet</translation>
    </message>
    <message>
        <source>bad \u escape</source>
        <translation>ungültige \u-Escape-Sequenz</translation>
    </message>
    <message>
        <source>unknown escape</source>
        <translation>unbekannte Escape-Sequenz</translation>
    </message>
    <message>
        <source>a low surrogate without a high one</source>
        <translation>ein niedriges Surrogat ohne hohes</translation>
    </message>
    <message>
        <source>a high surrogate without a low one</source>
        <translation>ein hohes Surrogat ohne niedriges</translation>
    </message>
    <message>
        <source>a string without its closing quote</source>
        <translation>eine Zeichenkette ohne schließendes Anführungszeichen</translation>
    </message>
    <message>
        <source>a control character inside a string</source>
        <translation>ein Steuerzeichen in einer Zeichenkette</translation>
    </message>
    <message>
        <source>text that is not UTF-8</source>
        <translation>Text, der kein UTF-8 ist</translation>
    </message>
    <message>
        <source>bad number</source>
        <translation>ungültige Zahl</translation>
    </message>
    <message>
        <source>a number beyond the range of a double</source>
        <translation>eine Zahl außerhalb des darstellbaren Bereichs</translation>
    </message>
    <message>
        <source>lists and dictionaries nested more than %1 deep</source>
        <translation>Listen und Wörterbücher, die mehr als %1 Ebenen tief verschachtelt sind</translation>
    </message>
    <message>
        <source>a number that is not finite</source>
        <translation>eine Zahl, die nicht endlich ist</translation>
    </message>
</context>
<context>
    <name>LoginItem</name>
    <message>
        <source>Couldn&apos;t set up opening at login: the program&apos;s name or command can&apos;t be written into a desktop entry</source>
        <translation>Öffnen beim Anmelden konnte nicht eingerichtet werden: Name oder Befehl des Programms lassen sich nicht in einen Desktop-Eintrag schreiben</translation>
    </message>
    <message>
        <source>Couldn&apos;t set up opening at login: the home folder is unknown</source>
        <translation>Öffnen beim Anmelden konnte nicht eingerichtet werden: Der persönliche Ordner ist unbekannt</translation>
    </message>
    <message>
        <source>Couldn&apos;t create %1: %2</source>
        <translation>%1 konnte nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>Couldn&apos;t write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Couldn&apos;t turn off opening at login: the entry&apos;s location is unknown</source>
        <translation>Öffnen beim Anmelden konnte nicht ausgeschaltet werden: Der Ort des Eintrags ist unbekannt</translation>
    </message>
    <message>
        <source>Couldn&apos;t remove %1: %2</source>
        <translation>%1 konnte nicht entfernt werden: %2</translation>
    </message>
</context>
<context>
    <name>Model</name>
    <message>
        <source>Couldn&apos;t send applications to their outputs</source>
        <extracomment>Shown when an application could not be sent to the output chosen for it.</extracomment>
        <translation>Anwendungen konnten nicht an ihre Ausgaben geleitet werden</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>The stored volumes couldn&apos;t be used (%1) nor kept aside (%2); they are not replaced until they can be</source>
        <extracomment>%1 says why the volumes can&apos;t be used, %2 why no copy could be kept.</extracomment>
        <translation>Die gespeicherten Lautstärken konnten weder verwendet (%1) noch beiseitegelegt werden (%2); sie werden erst ersetzt, wenn sie beiseitegelegt werden können</translation>
    </message>
    <message>
        <source>The stored volumes couldn&apos;t be used (%1); the settings were kept as %2</source>
        <extracomment>%1 says why the volumes can&apos;t be used; %2 is the copy&apos;s file.</extracomment>
        <translation>Die gespeicherten Lautstärken konnten nicht verwendet werden (%1); die Einstellungen wurden als %2 aufbewahrt</translation>
    </message>
    <message>
        <source>they are not a table of volumes</source>
        <translation>sie sind keine Tabelle von Lautstärken</translation>
    </message>
    <message>
        <source>one of them is not a number</source>
        <translation>eine davon ist keine Zahl</translation>
    </message>
    <message>
        <source>Couldn&apos;t find a folder for settings: the home folder is unknown</source>
        <translation>Kein Ordner für die Einstellungen gefunden: Der persönliche Ordner ist unbekannt</translation>
    </message>
    <message>
        <source>the home folder is unknown</source>
        <translation>Der persönliche Ordner ist unbekannt</translation>
    </message>
    <message>
        <source>Couldn&apos;t read settings from %1: %2</source>
        <extracomment>%1 is the settings file, %2 the system&apos;s reason.</extracomment>
        <translation>Die Einstellungen konnten nicht aus %1 gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 can&apos;t be read (%2) and is left as it is</source>
        <translation>%1 kann nicht gelesen werden (%2) und bleibt unverändert</translation>
    </message>
    <message>
        <source>it holds no settings object</source>
        <translation>die Datei enthält kein Objekt mit Einstellungen</translation>
    </message>
    <message>
        <source>Couldn&apos;t read settings from %1 (%2) nor move it aside: %3</source>
        <extracomment>%1 is the settings file, %2 what is wrong in it, %3 the system&apos;s reason.</extracomment>
        <translation>Die Einstellungen konnten nicht aus %1 gelesen werden (%2), und die Datei ließ sich nicht beiseitelegen: %3</translation>
    </message>
    <message>
        <source>%1 is damaged and could not be moved aside</source>
        <translation>%1 ist beschädigt und konnte nicht beiseitegelegt werden</translation>
    </message>
    <message>
        <source>Couldn&apos;t read settings (%1); the file was kept as %2 and settings start afresh</source>
        <extracomment>%1 says what is wrong in the file; %2 is the name it was kept under.</extracomment>
        <translation>Die Einstellungen konnten nicht gelesen werden (%1); die Datei wurde als %2 aufbewahrt, und die Einstellungen werden neu angelegt</translation>
    </message>
    <message>
        <source>Couldn&apos;t save settings: %1</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t save settings: the value for &quot;%1&quot; holds %2</source>
        <extracomment>%1 is the setting&apos;s name, %2 what the file can&apos;t hold.</extracomment>
        <translation>Die Einstellungen konnten nicht gespeichert werden: Der Wert für „%1“ enthält %2</translation>
    </message>
    <message>
        <source>they hold %1</source>
        <translation>sie enthalten %1</translation>
    </message>
    <message>
        <source>no free name beside %1</source>
        <translation>kein freier Name neben %1</translation>
    </message>
</context>
<context>
    <name>SoundServer</name>
    <message>
        <source>Lost the connection to the sound server; reconnecting…</source>
        <translation>Verbindung zum Soundserver verloren; neue Verbindung wird aufgebaut …</translation>
    </message>
    <message>
        <source>Couldn&apos;t connect to the sound server; retrying…</source>
        <translation>Keine Verbindung zum Soundserver möglich; neuer Versuch folgt …</translation>
    </message>
    <message>
        <source>An application plays more sounds at once than the sound server can mix in one place; some of them may play at their own volume or not be heard</source>
        <translation>Eine Anwendung spielt mehr Klänge gleichzeitig, als der Soundserver an einer Stelle mischen kann; einige davon spielen womöglich in ihrer eigenen Lautstärke oder sind nicht zu hören</translation>
    </message>
    <message>
        <source>Couldn&apos;t record the volumes set in applications&apos; streams; after a crash they may stay lowered</source>
        <translation>Die in den Datenströmen der Anwendungen gesetzten Lautstärken konnten nicht festgehalten werden; nach einem Absturz bleiben sie womöglich abgesenkt</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>A volume slider for every application.</source>
        <translation>Ein Lautstärkeregler für jede Anwendung.</translation>
    </message>
    <message>
        <source>Run over a simulated audio system.</source>
        <translation>Mit einem simulierten Audiosystem ausführen.</translation>
    </message>
    <message>
        <source>Open the panel.</source>
        <translation>Das Bedienfeld öffnen.</translation>
    </message>
    <message>
        <source>Write a picture of the panel to &lt;file&gt; and end.</source>
        <translation>Ein Bild des Bedienfelds in &lt;Datei&gt; schreiben und beenden.</translation>
    </message>
    <message>
        <source>file</source>
        <extracomment>The value&apos;s name in the help, as in &quot;--screenshot &lt;file&gt;&quot;.</extracomment>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Demo: voice call</source>
        <translation>Demo: Sprachanruf</translation>
    </message>
    <message>
        <source>another instance runs but does not answer</source>
        <translation>eine andere Instanz läuft, antwortet aber nicht</translation>
    </message>
    <message>
        <source>built without the audio backend; try --demo</source>
        <translation>ohne Audio-Backend erstellt; versuchen Sie --demo</translation>
    </message>
    <message>
        <source>could not write %1</source>
        <translation>%1 konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>could not start again</source>
        <translation>Neustart nicht möglich</translation>
    </message>
    <message>
        <source>Sound server: PipeWire %1 (native)</source>
        <extracomment>%1 is PipeWire&apos;s version, e.g. &quot;0.3.65&quot;.</extracomment>
        <translation>Soundserver: PipeWire %1 (nativ)</translation>
    </message>
    <message>
        <source>Sound server: PulseAudio protocol</source>
        <translation>Soundserver: PulseAudio-Protokoll</translation>
    </message>
    <message>
        <source>unknown audio backend &quot;%1&quot;; use pipewire or pulse</source>
        <extracomment>%1 is what was given; &quot;pipewire&quot; and &quot;pulse&quot; are the words to type.</extracomment>
        <translation>unbekanntes Audio-Backend „%1“; pipewire oder pulse verwenden</translation>
    </message>
    <message>
        <source>built without the PipeWire backend; using pulse</source>
        <translation>ohne PipeWire-Backend gebaut; pulse wird verwendet</translation>
    </message>
    <message>
        <source>Use the sound server through &lt;backend&gt;: pipewire or pulse.</source>
        <translation>Den Soundserver über &lt;Backend&gt; ansprechen: pipewire oder pulse.</translation>
    </message>
    <message>
        <source>backend</source>
        <extracomment>The value&apos;s name in the help, as in &quot;--audio-backend &lt;backend&gt;&quot;.</extracomment>
        <translation>Backend</translation>
    </message>
    <message>
        <source>A command (listed above), for the running Morvale.</source>
        <translation>Ein Befehl (siehe oben) für das laufende Morvale.</translation>
    </message>
    <message>
        <source>a command comes first, as in: morvale %1</source>
        <translation>ein Befehl steht an erster Stelle, wie in: morvale %1</translation>
    </message>
</context>
<context>
    <name>morvale::control::CommandLine</name>
    <message>
        <source>List the applications with their volumes.</source>
        <translation>Die Anwendungen mit ihren Lautstärken auflisten.</translation>
    </message>
    <message>
        <source>Show an application&apos;s volume.</source>
        <translation>Die Lautstärke einer Anwendung anzeigen.</translation>
    </message>
    <message>
        <source>Set an application&apos;s volume: 40% or 0.4, or a step: +5% or -5%.</source>
        <translation>Die Lautstärke einer Anwendung setzen: 40% oder 0.4, oder einen Schritt: +5% oder -5%.</translation>
    </message>
    <message>
        <source>Mute an application.</source>
        <translation>Eine Anwendung stummschalten.</translation>
    </message>
    <message>
        <source>Unmute an application, back to its volume before.</source>
        <translation>Die Stummschaltung einer Anwendung aufheben, zurück zu ihrer vorigen Lautstärke.</translation>
    </message>
    <message>
        <source>Mute or unmute an application.</source>
        <translation>Eine Anwendung stummschalten oder die Stummschaltung aufheben.</translation>
    </message>
    <message>
        <source>Show the call boost, or set it in decibels (0 to 30).</source>
        <translation>Die Anhebung bei Anrufen anzeigen oder in Dezibel setzen (0 bis 30).</translation>
    </message>
    <message>
        <source>Commands, which control the running Morvale:</source>
        <translation>Befehle, die das laufende Morvale steuern:</translation>
    </message>
    <message>
        <source>APP is an application&apos;s name or key, or the start of one, in any case.</source>
        <translation>APP ist der Name oder Schlüssel einer Anwendung oder dessen Anfang, in beliebiger Schreibweise.</translation>
    </message>
    <message>
        <source>there is no command %1; morvale --help lists them</source>
        <translation>es gibt keinen Befehl %1; morvale --help listet sie auf</translation>
    </message>
    <message>
        <source>%1 takes no option %2</source>
        <translation>%1 kennt keine Option %2</translation>
    </message>
    <message>
        <source>usage: %1</source>
        <translation>Aufruf: %1</translation>
    </message>
    <message>
        <source>no session bus, so no Morvale to reach (%1)</source>
        <translation>kein Sitzungsbus, also kein Morvale erreichbar (%1)</translation>
    </message>
    <message>
        <source>Morvale is not running</source>
        <translation>Morvale läuft nicht</translation>
    </message>
    <message>
        <source>Morvale does not answer</source>
        <translation>Morvale antwortet nicht</translation>
    </message>
    <message>
        <source>no application is called %1; morvale list shows them</source>
        <translation>keine Anwendung heißt %1; morvale list zeigt sie</translation>
    </message>
    <message>
        <source>%1 could mean %2</source>
        <translation>%1 kann Folgendes bedeuten: %2</translation>
    </message>
    <message>
        <source>%1: muted</source>
        <translation>%1: stumm</translation>
    </message>
    <message>
        <source>muted</source>
        <translation>stumm</translation>
    </message>
    <message>
        <source>playing</source>
        <translation>spielt ab</translation>
    </message>
    <message>
        <source>not running</source>
        <translation>läuft nicht</translation>
    </message>
    <message>
        <source>%1 is no volume: write 40% or 0.4, or a step: +5% or -5%</source>
        <translation>%1 ist keine Lautstärke: schreiben Sie 40% oder 0.4, oder einen Schritt: +5% oder -5%</translation>
    </message>
    <message>
        <source>%1 is no boost: write decibels from 0 to %2</source>
        <translation>%1 ist keine Anhebung: schreiben Sie Dezibel von 0 bis %2</translation>
    </message>
    <message>
        <source>Boost: %1, a call is active</source>
        <translation>Anhebung: %1, ein Anruf ist aktiv</translation>
    </message>
    <message>
        <source>Boost: %1</source>
        <translation>Anhebung: %1</translation>
    </message>
    <message>
        <source>Show an application&apos;s output, or send it to a device (its name or uid, or the start of one), or back to the default output.</source>
        <translation>Die Ausgabe einer Anwendung zeigen, oder sie an ein Gerät leiten (sein Name oder seine UID, oder deren Anfang), oder zurück an die Standardausgabe.</translation>
    </message>
    <message>
        <source>Hide an application&apos;s row in the panel.</source>
        <translation>Die Zeile einer Anwendung im Fenster ausblenden.</translation>
    </message>
    <message>
        <source>Show a hidden application&apos;s row again.</source>
        <translation>Die ausgeblendete Zeile einer Anwendung wieder einblenden.</translation>
    </message>
    <message>
        <source>System default</source>
        <translation>Systemstandard</translation>
    </message>
    <message>
        <source>%1 (absent)</source>
        <extracomment>A chosen output that is not connected now; %1 is its uid.</extracomment>
        <translation>%1 (nicht verbunden)</translation>
    </message>
    <message>
        <source>%1 names no one output; there are: %2</source>
        <translation>%1 bezeichnet nicht genau eine Ausgabe; es gibt: %2</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>%1: hidden</source>
        <translation>%1: ausgeblendet</translation>
    </message>
    <message>
        <source>%1: shown</source>
        <translation>%1: eingeblendet</translation>
    </message>
</context>
<context>
    <name>morvale::control::ControlService</name>
    <message>
        <source>no session bus (%1)</source>
        <translation>kein Sitzungsbus (%1)</translation>
    </message>
    <message>
        <source>could not serve %1 on the session bus</source>
        <translation>%1 konnte auf dem Sitzungsbus nicht angeboten werden</translation>
    </message>
    <message>
        <source>the volume %1 is not within 0 to 1</source>
        <translation>die Lautstärke %1 liegt nicht zwischen 0 und 1</translation>
    </message>
    <message>
        <source>the step %1 is not within -1 to 1</source>
        <translation>der Schritt %1 liegt nicht zwischen -1 und 1</translation>
    </message>
    <message>
        <source>the boost %1 dB is not within 0 to %2 dB</source>
        <translation>die Anhebung %1 dB liegt nicht zwischen 0 und %2 dB</translation>
    </message>
    <message>
        <source>no application has the key &quot;%1&quot;</source>
        <translation>keine Anwendung hat den Schlüssel „%1“</translation>
    </message>
    <message>
        <source>could not take %1 on the session bus (%2)</source>
        <translation>%1 konnte auf dem Sitzungsbus nicht übernommen werden (%2)</translation>
    </message>
    <message>
        <source>%1 is taken on the session bus, by another Morvale; commands reach this one once that one ends</source>
        <translation>%1 ist auf dem Sitzungsbus an ein anderes Morvale vergeben; Befehle erreichen dieses, sobald jenes endet</translation>
    </message>
    <message>
        <source>no output device has the uid &quot;%1&quot;</source>
        <translation>kein Ausgabegerät hat die UID &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>morvale::ui::AppRow</name>
    <message>
        <source>playing</source>
        <translation>spielt ab</translation>
    </message>
    <message>
        <source>%1 volume</source>
        <translation>Lautstärke von %1</translation>
    </message>
    <message>
        <source>Mute %1</source>
        <translation>%1 stummschalten</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>muted</source>
        <translation>stumm</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>An application&apos;s name with its id, for two applications of the same name.</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <source>Show %1</source>
        <translation>%1 einblenden</translation>
    </message>
    <message>
        <source>Hide %1</source>
        <translation>%1 ausblenden</translation>
    </message>
</context>
<context>
    <name>morvale::ui::ContentView</name>
    <message>
        <source>Morvale</source>
        <translation>Morvale</translation>
    </message>
    <message>
        <source>No apps are playing audio.</source>
        <translation>Keine Anwendung gibt Ton wieder.</translation>
    </message>
    <message>
        <source>Undo call ducking</source>
        <translation>Absenkung bei Anrufen ausgleichen</translation>
    </message>
    <message>
        <source>call active</source>
        <translation>Anruf aktiv</translation>
    </message>
    <message>
        <source>During a call, set %1 to 99% and raise this until it sounds as loud as 100%.</source>
        <extracomment>%1 is the name of the row that call audio plays in.</extracomment>
        <translation>Stellen Sie während eines Anrufs „%1“ auf 99&#xa0;% und erhöhen Sie diesen Wert, bis es so laut klingt wie bei 100&#xa0;%.</translation>
    </message>
    <message>
        <source>This system lowers nothing during calls: the boost has nothing to undo.</source>
        <translation>Dieses System senkt bei Anrufen nichts ab: Die Anhebung hat nichts auszugleichen.</translation>
    </message>
    <message>
        <source>Open at login</source>
        <translation>Beim Anmelden öffnen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>+%1 dB</source>
        <translation>+%1&#xa0;dB</translation>
    </message>
    <message>
        <source>Hidden (%1)</source>
        <extracomment>The heading of the rows the user hid; %1 is how many there are.</extracomment>
        <translation>Ausgeblendet (%1)</translation>
    </message>
</context>
<context>
    <name>morvale::ui::ContinuousSlider</name>
    <message>
        <source>muted, %1</source>
        <extracomment>What a screen reader says of a muted volume slider; %1 is the volume that unmuting returns to, such as 50%.</extracomment>
        <translation>stumm, %1</translation>
    </message>
</context>
<context>
    <name>morvale::ui::MorvaleApp</name>
    <message>
        <source>There is no system tray to show Morvale&apos;s icon in. To open this panel again, start Morvale again, for instance from the application menu.</source>
        <translation>Es gibt keinen Infobereich (System-Tray), in dem Morvales Symbol erscheinen kann. Um dieses Bedienfeld wieder zu öffnen, starten Sie Morvale erneut, zum Beispiel über das Anwendungsmenü.</translation>
    </message>
    <message>
        <source>Open panel</source>
        <translation>Bedienfeld öffnen</translation>
    </message>
    <message>
        <source>Open at login</source>
        <translation>Beim Anmelden öffnen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Morvale</source>
        <translation>Morvale</translation>
    </message>
</context>
<context>
    <name>morvale::ui::OutputButton</name>
    <message>
        <source>Output for %1: %2</source>
        <extracomment>%1 is an application, %2 the output it plays on.</extracomment>
        <translation>Ausgabe für %1: %2</translation>
    </message>
    <message>
        <source>%1 (absent)</source>
        <extracomment>A chosen output that is not connected now; %1 is its name.</extracomment>
        <translation>%1 (nicht verbunden)</translation>
    </message>
    <message>
        <source>System default</source>
        <translation>Systemstandard</translation>
    </message>
</context>
<context>
    <name>morvale::ui::PanelWindow</name>
    <message>
        <source>Morvale</source>
        <translation>Morvale</translation>
    </message>
</context>
</TS>
