<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Banco</name>
    <message>
        <source>Cambiare profilo e posti della stazione? Il cambio resta nel registro.</source>
        <translation>Change the station&apos;s profile and slots? The change is recorded in the log.</translation>
    </message>
    <message>
        <source>Il file della stazione %1 non si può scrivere: %2</source>
        <translation>The station file %1 cannot be written: %2</translation>
    </message>
    <message>
        <source>Il registro non si può scrivere: %1</source>
        <translation>The log cannot be written: %1</translation>
    </message>
    <message>
        <source>Codici e registri non si possono tenere: %1</source>
        <translation>Codes and records cannot be kept: %1</translation>
    </message>
    <message>
        <source>L&apos;archivio rifiuta la stazione: %1</source>
        <translation>The archive refuses the station: %1</translation>
    </message>
    <message>
        <source>Archivio: %1</source>
        <translation>Archive: %1</translation>
    </message>
    <message>
        <source>In attesa di codici dall&apos;archivio</source>
        <translation>Waiting for codes from the archive</translation>
    </message>
    <message>
        <source>Attendere: l&apos;archivio dà i codici appena risponde</source>
        <translation>Wait: the archive gives codes as soon as it answers</translation>
    </message>
</context>
<context>
    <name>DialogoImpostazioni</name>
    <message>
        <source>Impostazioni della stazione</source>
        <translation>Station settings</translation>
    </message>
    <message>
        <source>Scegli il file dell&apos;unità...</source>
        <translation>Choose the unit file...</translation>
    </message>
    <message>
        <source>Profilo:</source>
        <translation>Profile:</translation>
    </message>
    <message>
        <source>Solo verifica: nulla viene scritto</source>
        <translation>Verify only: nothing is written</translation>
    </message>
    <message>
        <source>non usato</source>
        <translation>not used</translation>
    </message>
    <message>
        <source>Assegna</source>
        <translation>Assign</translation>
    </message>
    <message>
        <source>Posto %1</source>
        <translation>Slot %1</translation>
    </message>
    <message>
        <source>Il file dell&apos;unità</source>
        <translation>The unit file</translation>
    </message>
    <message>
        <source>File dell&apos;unità (*.json)</source>
        <translation>Unit files (*.json)</translation>
    </message>
    <message>
        <source>Collegare l&apos;adattatore nella presa del posto %1...</source>
        <translation>Plug the adapter into the socket of slot %1...</translation>
    </message>
    <message>
        <source>Posto %1: %2</source>
        <translation>Slot %1: %2</translation>
    </message>
    <message>
        <source>Salva</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Nessun adattatore nuovo: riprovare</source>
        <translation>No new adapter: try again</translation>
    </message>
    <message>
        <source>nessuno: il codice del profilo; oppure 1-500, o un file</source>
        <translation>none: the profile&apos;s code; or 1-500, or a file</translation>
    </message>
    <message>
        <source>File...</source>
        <translation>File...</translation>
    </message>
    <message>
        <source>Piano dei codici:</source>
        <translation>Plan of codes:</translation>
    </message>
    <message>
        <source>nessuno; oppure host=... dbname=..., la password in ~/.pgpass</source>
        <translation>none; or host=... dbname=..., the password in ~/.pgpass</translation>
    </message>
    <message>
        <source>Archivio:</source>
        <translation>Archive:</translation>
    </message>
    <message>
        <source>Il file dei codici</source>
        <translation>The file of codes</translation>
    </message>
    <message>
        <source>File dei codici (*.txt);;Tutti i file (*)</source>
        <translation>Files of codes (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>Un piano dà i codici da programmare: non con la sola verifica</source>
        <translation>A plan gives codes to program: not with verify only</translation>
    </message>
    <message>
        <source>Piano dei codici</source>
        <translation>Plan of codes</translation>
    </message>
    <message>
        <source>Archivio</source>
        <translation>Archive</translation>
    </message>
</context>
<context>
    <name>FinestraStazione</name>
    <message>
        <source>Stazione di programmazione M5</source>
        <translation>M5 programming station</translation>
    </message>
    <message>
        <source>&amp;Stazione</source>
        <translation>&amp;Station</translation>
    </message>
    <message>
        <source>&amp;Impostazioni...</source>
        <translation>S&amp;ettings...</translation>
    </message>
    <message>
        <source>&amp;Esporta il registro in CSV...</source>
        <translation>E&amp;xport the log as CSV...</translation>
    </message>
    <message>
        <source>S&amp;uoni</source>
        <translation>&amp;Sounds</translation>
    </message>
    <message>
        <source>E&amp;sci</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>Verifica: nulla viene scritto</source>
        <translation>Verify: nothing is written</translation>
    </message>
    <message>
        <source>Programmazione con rilettura</source>
        <translation>Programming with read-back</translation>
    </message>
    <message>
        <source>Profilo %1 · %2
%3</source>
        <translation>Profile %1 · %2
%3</translation>
    </message>
    <message>
        <source>Esporta il registro in CSV</source>
        <translation>Export the log as CSV</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>%1 non si può scrivere: %2</source>
        <translation>%1 cannot be written: %2</translation>
    </message>
    <message>
        <source>it_IT</source>
        <comment>the locale whose numbers the window shows</comment>
        <translation>en_US</translation>
    </message>
    <message>
        <source>Sì, cambiare</source>
        <translation>Yes, change</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>S&amp;uoni (nessun dispositivo audio)</source>
        <translation>&amp;Sounds (no audio device)</translation>
    </message>
    <message>
        <source>Unità %1 · OK %2 · Falliti %3 · Resa al primo passaggio %4 · %5 unità nell&apos;ultima ora</source>
        <translation>Units %1 · OK %2 · Failed %3 · First-pass yield %4 · %5 units in the last hour</translation>
    </message>
    <message>
        <source>Attendere la fine, poi uscire</source>
        <translation>Wait for them to end, then quit</translation>
    </message>
    <message>
        <source>Interrompere e uscire</source>
        <translation>Interrupt them and quit</translation>
    </message>
    <message>
        <source>Annulla</source>
        <translation>Cancel</translation>
    </message>
    <message numerus="yes">
        <source>%n unità in lavorazione. Uscire?</source>
        <translation>
            <numerusform>%n unit at work. Quit?</numerusform>
            <numerusform>%n units at work. Quit?</numerusform>
        </translation>
    </message>
    <message>
        <source>La stazione si è fermata: il registro, i codici o l&apos;archivio non si possono usare.
%1</source>
        <translation>The station stopped: the log, the codes or the archive cannot be used.
%1</translation>
    </message>
    <message>
        <source>Codici rimasti: %1 di %2</source>
        <translation>Codes left: %1 of %2</translation>
    </message>
    <message>
        <source>Archivio: connesso</source>
        <translation>Archive: connected</translation>
    </message>
    <message>
        <source>Archivio: non in linea, %1 in attesa</source>
        <translation>Archive: offline, %1 waiting</translation>
    </message>
    <message>
        <source>Archivio: non in linea dal %1, %2 in attesa</source>
        <translation>Archive: offline since %1, %2 waiting</translation>
    </message>
</context>
<context>
    <name>Profilo</name>
    <message>
        <source>codice</source>
        <translation>code</translation>
    </message>
    <message>
        <source>frequenza</source>
        <translation>frequency</translation>
    </message>
    <message>
        <source>rele</source>
        <translation>relay</translation>
    </message>
    <message>
        <source>impulsi</source>
        <translation>pulses</translation>
    </message>
    <message>
        <source>toni</source>
        <translation>tones</translation>
    </message>
    <message>
        <source>uscite</source>
        <translation>outputs</translation>
    </message>
    <message>
        <source>trasmettitori</source>
        <translation>transmitters</translation>
    </message>
    <message>
        <source>banda</source>
        <translation>band</translation>
    </message>
    <message>
        <source>%1 dal piano %2 (%3)</source>
        <translation>%1 from plan %2 (%3)</translation>
    </message>
</context>
<context>
    <name>RiquadroPosto</name>
    <message>
        <source>MANCANTE</source>
        <translation>MISSING</translation>
    </message>
    <message>
        <source>PRONTO</source>
        <translation>READY</translation>
    </message>
    <message>
        <source>IN CORSO</source>
        <translation>WORKING</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>FALLITO</source>
        <translation>FAIL</translation>
    </message>
    <message>
        <source>TOGLIERE</source>
        <translation>TAKE OUT</translation>
    </message>
    <message>
        <source>Posto %1</source>
        <translation>Slot %1</translation>
    </message>
    <message>
        <source>Cella %1 di %2</source>
        <translation>Cell %1 of %2</translation>
    </message>
    <message>
        <source>Lettura</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>Unità %1 · OK %2 · Falliti %3</source>
        <translation>Units %1 · OK %2 · Failed %3</translation>
    </message>
    <message>
        <source>Controllare cavo e attrezzo</source>
        <translation>Check cable and fixture</translation>
    </message>
    <message>
        <source>OCCUPATO</source>
        <translation>IN USE</translation>
    </message>
    <message>
        <source>DOPPIO</source>
        <translation>SHARED</translation>
    </message>
    <message>
        <source>IN PAUSA</source>
        <translation>PAUSED</translation>
    </message>
    <message>
        <source>Codice %1</source>
        <translation>Code %1</translation>
    </message>
    <message>
        <source>CODICI ESAURITI</source>
        <translation>NO CODES LEFT</translation>
    </message>
    <message>
        <source>Etichetta non stampata: %1</source>
        <translation>Label not printed: %1</translation>
    </message>
</context>
<context>
    <name>TestiEsito</name>
    <message>
        <source>La rilettura differisce da quanto scritto</source>
        <translation>The read-back differs from what was written</translation>
    </message>
    <message>
        <source>Valori diversi dal profilo</source>
        <translation>Values differ from the profile</translation>
    </message>
    <message>
        <source>Interrotto</source>
        <translation>Interrupted</translation>
    </message>
    <message>
        <source>Errore %1</source>
        <translation>Error %1</translation>
    </message>
    <message>
        <source> · unità programmata in parte: riprogrammarla</source>
        <translation> · unit partly programmed: program it again</translation>
    </message>
    <message>
        <source>%1: atteso %2, trovato %3</source>
        <translation>%1: expected %2, found %3</translation>
    </message>
    <message>
        <source>Ultima unità: OK</source>
        <translation>Last unit: OK</translation>
    </message>
    <message>
        <source>Ultima unità: INTERROTTA</source>
        <translation>Last unit: INTERRUPTED</translation>
    </message>
    <message>
        <source>Ultima unità: FALLITA · %1</source>
        <translation>Last unit: FAILED · %1</translation>
    </message>
    <message>
        <source>Porta occupata da un altro programma</source>
        <translation>Port held by another program</translation>
    </message>
    <message>
        <source>Porta occupata da %1</source>
        <translation>Port held by %1</translation>
    </message>
    <message>
        <source>Stesso dispositivo di un altro posto</source>
        <translation>Same device as another slot</translation>
    </message>
    <message>
        <source>Stesso dispositivo del posto %1</source>
        <translation>Same device as slot %1</translation>
    </message>
    <message>
        <source>Adattatore assente: collegarlo</source>
        <translation>Adapter missing: plug it in</translation>
    </message>
    <message>
        <source>Collegare un&apos;unità</source>
        <translation>Cable a unit in</translation>
    </message>
    <message>
        <source>Non togliere l&apos;unità</source>
        <translation>Do not take the unit out</translation>
    </message>
    <message>
        <source>Togliere l&apos;unità</source>
        <translation>Take the unit out</translation>
    </message>
    <message>
        <source>Togliere l&apos;unità, lasciare il posto vuoto, poi collegare la prossima</source>
        <translation>Take the unit out, leave the slot empty, then cable in the next one</translation>
    </message>
    <message>
        <source>Chiudere quel programma, poi attendere</source>
        <translation>Close that program, then wait</translation>
    </message>
    <message>
        <source>Dare a ogni posto il suo adattatore</source>
        <translation>Give each slot its own adapter</translation>
    </message>
    <message>
        <source>Impostazioni in corso: attendere</source>
        <translation>Settings being changed: wait</translation>
    </message>
    <message>
        <source>Dare accesso alla porta (gruppo dialout), poi attendere</source>
        <translation>Give access to the port (dialout group), then wait</translation>
    </message>
    <message>
        <source>Liberare la porta, poi attendere</source>
        <translation>Free the port, then wait</translation>
    </message>
    <message>
        <source>Ricollegare l&apos;adattatore, poi riprogrammare l&apos;unità</source>
        <translation>Plug the adapter back in, then program the unit again</translation>
    </message>
    <message>
        <source>Ricollegare l&apos;adattatore, poi rifare l&apos;unità</source>
        <translation>Plug the adapter back in, then do the unit again</translation>
    </message>
    <message>
        <source>Codici esauriti: nulla è stato scritto</source>
        <translation>No codes left: nothing was written</translation>
    </message>
    <message>
        <source>Dare un nuovo piano di codici (Impostazioni...)</source>
        <translation>Give a new plan of codes (Settings...)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Il file dell&apos;unità</source>
        <translation>The unit file</translation>
    </message>
    <message>
        <source>Il file dell&apos;unità %1 non esiste.</source>
        <translation>The unit file %1 does not exist.</translation>
    </message>
    <message>
        <source>Il file dell&apos;unità %1 non si può leggere: mancano i permessi.</source>
        <translation>The unit file %1 cannot be read: permission denied.</translation>
    </message>
    <message>
        <source>Il file dell&apos;unità %1 non va bene: %2.</source>
        <translation>The unit file %1 cannot be used: %2.</translation>
    </message>
    <message>
        <source>Leggerne uno da un&apos;unità buona con &quot;m5ctl read -o FILE&quot;, oppure sceglierne un altro, poi riavviare la stazione.</source>
        <translation>Read one from a good unit with &quot;m5ctl read -o FILE&quot;, or choose another, then start the station again.</translation>
    </message>
    <message>
        <source>Il file della stazione era danneggiato (%1) ed è stato messo da parte come %2.
La stazione parte con un posto per ogni porta seriale presente: controllarli in Stazione → Impostazioni.</source>
        <translation>The station file was damaged (%1) and has been kept aside as %2.
The station starts with one slot per serial port present: check them in Station → Settings.</translation>
    </message>
    <message>
        <source>Nessuna porta seriale presente e nessun posto impostato: collegare gli adattatori, poi assegnarli ai posti in Stazione → Impostazioni.</source>
        <translation>No serial port present and no slot set: plug the adapters in, then assign them to slots in Station → Settings.</translation>
    </message>
    <message>
        <source>Il file della stazione %1 è danneggiato e non si può mettere da parte: %2.
Spostarlo o correggerlo, poi riavviare la stazione.</source>
        <translation>The station file %1 is damaged and cannot be kept aside: %2.
Move it away or mend it, then start the station again.</translation>
    </message>
    <message>
        <source>Il registro %1 non si può aprire: %2.
Liberare spazio sul disco o correggere i permessi della cartella, oppure indicare un altro file con --log, poi riavviare la stazione.</source>
        <translation>The log %1 cannot be opened: %2.
Free disk space or mend the folder&apos;s permissions, or give another file with --log, then start the station again.</translation>
    </message>
    <message>
        <source>Le etichette non si possono stampare: %1
Indicare un&apos;altra stampante o cartella con --etichette, poi riavviare la stazione.</source>
        <translation>Labels cannot be printed: %1
Give another printer or folder with --etichette, then start the station again.</translation>
    </message>
</context>
</TS>
