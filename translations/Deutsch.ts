<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>TLogViewForm</name>
    <message>
        <location filename="../src/ui/window_texts.cpp" line="+92"/>
        <source>Log File View</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <location line="-85"/>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Log File</source>
        <translation>Protokolldatei</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Triggers</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Long Time Data</source>
        <translation>Langzeitdaten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delete BackUp Folder</source>
        <translation>Sicherungsordner löschen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;General</source>
        <translation>&amp;Allgemein</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>View Actual Measurement</source>
        <translation>Aktuelle Messung anzeigen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>View History</source>
        <translation>Verlauf anzeigen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>View Station Information</source>
        <translation>Stationsinformation anzeigen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Synchronize PC Clock</source>
        <translation>PC-Uhr synchronisieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Parametres</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>View log</source>
        <translation>Protokoll anzeigen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Terminal</source>
        <translation>Terminal</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Suspend</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Manual</source>
        <translation>Handbuch</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Actual Measurement &gt;</source>
        <translation>&amp;Aktuelle Messung &gt;</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;History &gt;</source>
        <translation>&amp;Verlauf &gt;</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Info &gt;</source>
        <translation>&amp;Info &gt;</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Information Panel </source>
        <translation>Information </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>History Control Panel </source>
        <translation>Verlauf </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Actual Measurement Control Panel </source>
        <translation>Aktuelle Messung </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Set PC &amp;Time</source>
        <translation>PC-&amp;Zeit stellen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Force Computer Clock Sychronization</source>
        <translation>PC-Uhr sofort nach GPS stellen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Send Test Message</source>
        <translation>Testmeldung senden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Scan GSM Signal Intensity</source>
        <translation>GSM-Signalstärke abfragen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;&lt; Previous</source>
        <translation>&amp;&lt; Zurück</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Next &amp;&gt;</source>
        <translation>Weiter &amp;&gt;</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Date And Time Currently Displayed Data</source>
        <translation>Datum und Uhrzeit der angezeigten Daten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Number Of Visible Read Periods</source>
        <translation>Anzahl sichtbarer Sekunden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Norm</source>
        <translation>&amp;Norm.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>T&amp;rigger</source>
        <translation>T&amp;rigger</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;0</source>
        <translation>Kanal &amp;0</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;1</source>
        <translation>Kanal &amp;1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;2</source>
        <translation>Kanal &amp;2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;3</source>
        <translation>Kanal &amp;3</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;4</source>
        <translation>Kanal &amp;4</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;5</source>
        <translation>Kanal &amp;5</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;6</source>
        <translation>Kanal &amp;6</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Channel &amp;7</source>
        <translation>Kanal &amp;7</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>On/Off Channel</source>
        <translation>Kanal ein/aus</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;Filtered</source>
        <translation>&amp;Gefiltert</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Display Filtered Data</source>
        <translation>Gefilterte Daten anzeigen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Freeze Current Wave Window</source>
        <translation>Wellenbild anhalten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;counts</source>
        <translation>&amp;Counts</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>GPS Pulse Per Second Indication</source>
        <translation>GPS-Sekundenimpuls</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Valid Time Indication</source>
        <translation>Gültige Zeit</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>A/D Card Status Indication</source>
        <translation>Status des A/D-Wandlers</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Hard Disk Write Error</source>
        <translation>Schreibfehler auf der Festplatte</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Alarm Indication</source>
        <translation>Alarmanzeige</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Computer Clock Sync. Request</source>
        <translation>Anforderung: PC-Uhr stellen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Trigger Detection Indicator</source>
        <translation>Trigger erkannt</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Data Exporting Indication</source>
        <translation>Datenexport läuft</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Local time:</source>
        <translation>Lokale Zeit:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Difference:</source>
        <translation>Differenz:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Local date:</source>
        <translation>Lokales Datum:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>GPS date:</source>
        <translation>GPS-Datum:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>GPS time:</source>
        <translation>GPS-Zeit:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Latitude:</source>
        <translation>Breite:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Longitude:</source>
        <translation>Länge:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Altitude:</source>
        <translation>Höhe:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Samples:</source>
        <translation>Werte:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Time Tag:</source>
        <translation>Zeitmarke:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>GSM PIN:</source>
        <translation>GSM-PIN:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Signal:</source>
        <translation>Signal:</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>No later trigger file.</source>
        <translation>Keine spätere Triggerdatei.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No earlier trigger file.</source>
        <translation>Keine frühere Triggerdatei.</translation>
    </message>
    <message>
        <location filename="../src/ui/mainform.cpp" line="+680"/>
        <source>station</source>
        <translation>Stations</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>data</source>
        <translation>Daten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>trigger</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The backup folder %1 is not deleted: it is the %2 folder %3.</source>
        <translation>Der Sicherungsordner %1 wird nicht gelöscht: er ist der %2-Ordner %3.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The backup folder %1 is not deleted: it contains the %2 folder %3.</source>
        <translation>Der Sicherungsordner %1 wird nicht gelöscht: er enthält den %2-Ordner %3.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The backup folder %1 is not deleted: it lies inside the %2 folder %3.</source>
        <translation>Der Sicherungsordner %1 wird nicht gelöscht: er liegt im %2-Ordner %3.</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>%1 in %2 file</source>
        <translation>%1 in %2 Datei</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>%1 in %2 files</source>
        <translation>%1 in %2 Dateien</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Do you really want to delete backup folder?</source>
        <translation>Wollen Sie den Sicherungsordner wirklich löschen?</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>&quot;%1&quot; is not a valid date and time.</source>
        <translation>&quot;%1&quot; ist kein gültiges Datum mit Uhrzeit.</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Not enough memory for the history picture.</source>
        <translation>Nicht genug Speicher für das Verlaufsbild.</translation>
    </message>
    <message>
        <location line="+27"/>
        <source>The printer could not be opened; the seismogram was not printed.</source>
        <translation>Der Drucker konnte nicht geöffnet werden; das Seismogramm wurde nicht gedruckt.</translation>
    </message>
    <message>
        <location line="+93"/>
        <source>The manual was not found: neither %1 beside the program nor %2.</source>
        <translation>Das Handbuch wurde nicht gefunden: weder %1 neben dem Programm noch %2.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Minimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Maximize</source>
        <translation>Maximieren</translation>
    </message>
</context>
<context>
    <name>TParamsForm</name>
    <message>
        <location filename="../src/ui/paramsform.cpp" line="+92"/>
        <source>&apos;%1&apos; is not a valid integer value</source>
        <translation>&apos;%1&apos; ist keine gültige ganze Zahl</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>&apos;%1&apos; is not a valid floating point value</source>
        <translation>&apos;%1&apos; ist keine gültige Gleitkommazahl</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>LSB/Averages</source>
        <translation>LSB/Mittelwerte</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SeedLink Port</source>
        <translation>SeedLink-Port</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Registration Parametres</source>
        <translation>Registrierparameter</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>Common </source>
        <translation>Allgemein </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Data Directory</source>
        <translation>Datenverzeichnis</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Trigger Directory</source>
        <translation>Triggerverzeichnis</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ASCII Directory</source>
        <translation>ASCII-Verzeichnis</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>BackUp Directory</source>
        <translation>Sicherungsverzeichnis</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save Log File</source>
        <translation>Protokoll speichern</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Register Alarms</source>
        <translation>Alarme registrieren</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Communication </source>
        <translation>Kommunikation </translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Send SMS</source>
        <translation>SMS senden</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Send E-mail</source>
        <translation>E-Mail senden</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Daily Message At</source>
        <translation>Tagesmeldung um</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Start Msg.</source>
        <translation>Startmeldung</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Daily Msg.</source>
        <translation>Tagesmeldung</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail Address</source>
        <translation>E-Mail-Adresse</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Send Triggers</source>
        <translation>Trigger melden</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>At Minute</source>
        <translation>Zur Minute</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>TCP/IP server</source>
        <translation>TCP/IP-Server</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+61"/>
        <location line="+26"/>
        <location line="+93"/>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <location line="-173"/>
        <source>Converter </source>
        <translation>Wandler </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Module</source>
        <translation>Modul</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Offset Compensation</source>
        <translation>Offsetausgleich</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Continuous Recording</source>
        <translation>Dauerregistrierung</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Wait For GPS Sync.</source>
        <translation>Auf GPS-Synchronisation warten</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Puls Per Sec. Channel </source>
        <translation>Kanal des Sekundenimpulses </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Conversion </source>
        <translation>Wandlung </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Sampling Rate [Hz]</source>
        <translation>Abtastrate [Hz]</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Resampling [smpls]</source>
        <translation>Dezimierung [Werte]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Full Load</source>
        <translation>Volle Bestückung</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Double Sensitivity</source>
        <translation>Doppelte Empfindlichkeit</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Digital Filter</source>
        <translation>Digitalfilter</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Filter Enabled</source>
        <translation>Filter aktiv</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Trigger </source>
        <translation>Trigger </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Save Triggers</source>
        <translation>Trigger speichern</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>PredTime [sec]</source>
        <translation>Vorlauf [s]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>PostTime [sec]</source>
        <translation>Nachlauf [s]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>STA Length [sec]</source>
        <translation>STA-Länge [s]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>STA Start [nm/s]</source>
        <translation>STA-Start [nm/s]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>STA Stop [nm/s]</source>
        <translation>STA-Stopp [nm/s]</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>GSM </source>
        <translation>GSM </translation>
    </message>
    <message>
        <location line="+4"/>
        <location line="+26"/>
        <source>Baud Rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <location line="-23"/>
        <source>Pin</source>
        <translation>PIN</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>E-mail Gate</source>
        <translation>E-Mail-Gateway</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>E-mail Only</source>
        <translation>Nur E-Mail</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Quarry</source>
        <translation>Steinbruch</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>M1 Mode</source>
        <translation>M1-Modus</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>SMS centrum</source>
        <translation>SMS-Zentrale</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Indicate</source>
        <translation>Kennung</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Receivers</source>
        <translation>Empfänger</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>GPS </source>
        <translation>GPS </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>PPS Pin</source>
        <translation>PPS-Leitung</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Synchronize PC Clock</source>
        <translation>PC-Uhr synchronisieren</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sync. Only Valid Time</source>
        <translation>Nur gültige Zeit übernehmen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Decimal Code</source>
        <translation>Dezimalcode</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Delay (0 -&gt;100)</source>
        <translation>Verzögerung (0 -&gt;100)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Interval [sec]</source>
        <translation>Intervall [s]</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Max. Difference [ms]</source>
        <translation>Max. Differenz [ms]</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Seismograph (GSE) </source>
        <translation>Seismometer (GSE) </translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Model (Type)</source>
        <translation>Modell (Typ)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Serial No.</source>
        <translation>Seriennr.</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Saving Conditions</source>
        <translation>Speicherbedingungen</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>All Channels</source>
        <translation>Alle Kanäle</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Time Not Valid</source>
        <translation>Zeit ungültig</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No PPS</source>
        <translation>Ohne PPS</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>GPS</source>
        <translation>GPS</translation>
    </message>
    <message>
        <location line="+7"/>
        <location line="+4"/>
        <source>Channel</source>
        <translation>Kanal</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Sensor </source>
        <translation>Sensor </translation>
    </message>
    <message>
        <location line="+0"/>
        <source>(nm/s)/LSB</source>
        <translation>(nm/s)/LSB</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Averages </source>
        <translation>Mittelwerte </translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+1"/>
        <source>LSBs</source>
        <translation>LSBs</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Current Offsets </source>
        <translation>Aktuelle Offsets </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Sensitivity </source>
        <translation>Empfindlichkeit </translation>
    </message>
    <message>
        <location line="+0"/>
        <source>µV/LSB</source>
        <translation>µV/LSB</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>miniSEED / SeedLink</source>
        <translation>miniSEED / SeedLink</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Network</source>
        <translation>Netz</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Location</source>
        <translation>Ort</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Archive</source>
        <translation>Archiv</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>SeedLink Server</source>
        <translation>SeedLink-Server</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Allow</source>
        <translation>Erlaubt</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SEED network code: one or two upper-case letters or digits (XX: no network)</source>
        <translation>SEED-Netzcode: ein oder zwei Großbuchstaben oder Ziffern (XX: kein Netz)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SEED location code: up to two upper-case letters or digits, often empty</source>
        <translation>SEED-Ortscode: bis zu zwei Großbuchstaben oder Ziffern, oft leer</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Write the miniSEED records into a day-file archive</source>
        <translation>Die miniSEED-Blöcke in ein Archiv aus Tagesdateien schreiben</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Root directory of the archive; inside the station directory it is saved relative to it</source>
        <translation>Stammverzeichnis des Archivs; innerhalb des Stationsverzeichnisses wird es relativ dazu gespeichert</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Serve the live records to SeedLink clients</source>
        <translation>Die laufenden Daten an SeedLink-Clients liefern</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>TCP port of the SeedLink server (1 to 65535)</source>
        <translation>TCP-Port des SeedLink-Servers (1 bis 65535)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Client addresses or subnets allowed to connect; empty: everybody</source>
        <translation>Adressen oder Teilnetze der Clients, die sich verbinden dürfen; leer: alle</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <location line="+103"/>
        <source>Filter Values</source>
        <translation>Filterwerte</translation>
    </message>
    <message>
        <location line="+196"/>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Text files (*.txt *.TXT);;All Files (*)</source>
        <translation>Textdateien (*.txt *.TXT);;Alle Dateien (*)</translation>
    </message>
    <message>
        <location line="+114"/>
        <source>&apos;%1&apos; is not a valid time</source>
        <translation>&apos;%1&apos; ist keine gültige Uhrzeit</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>&apos;%1&apos; is not a valid SEED code</source>
        <translation>&apos;%1&apos; ist kein gültiger SEED-Code</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>Selected converter is not supported by this program.</source>
        <translation>Der gewählte Wandler wird von diesem Programm nicht unterstützt.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>The configuration file %1 could not be written.</source>
        <translation>Die Konfigurationsdatei %1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Please restart program to activate changes</source>
        <translation>Bitte Programm neu starten, um die Änderungen zu übernehmen</translation>
    </message>
</context>
<context>
    <name>TPortSetupForm</name>
    <message>
        <location filename="../src/ui/portsetup.cpp" line="+53"/>
        <source>Setup</source>
        <translation>Einrichtung</translation>
    </message>
    <message>
        <location line="+12"/>
        <location line="+2"/>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>Odd</source>
        <translation>Ungerade</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Even</source>
        <translation>Gerade</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Mark</source>
        <translation>Mark</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Space</source>
        <translation>Space</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Hardware (RTS/CTS)</source>
        <translation>Hardware (RTS/CTS)</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Software (XON/XOFF)</source>
        <translation>Software (XON/XOFF)</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Baud rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Data bits</source>
        <translation>Datenbits</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop bits</source>
        <translation>Stoppbits</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Parity</source>
        <translation>Parität</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Flow control</source>
        <translation>Flusssteuerung</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>TTerminalForm</name>
    <message>
        <location filename="../src/ui/terminalform.cpp" line="+54"/>
        <source>Terminal</source>
        <translation>Terminal</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+5"/>
        <location line="+111"/>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <location line="-115"/>
        <location line="+5"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="-4"/>
        <location line="+5"/>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <location line="-4"/>
        <location line="+5"/>
        <location line="+196"/>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <location line="-195"/>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>+CRLF</source>
        <translation>+CRLF</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>+Ctrl+Z</source>
        <translation>+Strg+Z</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>GPS</source>
        <translation>GPS</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>GSM</source>
        <translation>GSM</translation>
    </message>
    <message>
        <location line="+50"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+92"/>
        <source>Text files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Error writing %1.</source>
        <translation>Fehler beim Schreiben von %1.</translation>
    </message>
</context>
</TS>
