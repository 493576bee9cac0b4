<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DialogoImpostazioni</name>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="29"/>
        <source>Impostazioni della stazione</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="33"/>
        <source>Scegli il file dell&apos;unità...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="35"/>
        <source>Profilo:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="39"/>
        <source>Solo verifica: nulla viene scritto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="46"/>
        <source>non usato</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="51"/>
        <source>Assegna</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="53"/>
        <source>Posto %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="87"/>
        <source>Il file dell&apos;unità</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="87"/>
        <source>File dell&apos;unità (*.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="123"/>
        <source>Collegare l&apos;adattatore nella presa del posto %1...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="dialogo_impostazioni.cpp" line="143"/>
        <source>Posto %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FinestraStazione</name>
    <message>
        <location filename="finestra_stazione.cpp" line="40"/>
        <source>Stazione di programmazione M5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="68"/>
        <source>La stazione si è fermata: il registro non si può scrivere.
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="85"/>
        <source>&amp;Stazione</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="86"/>
        <source>&amp;Impostazioni...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="88"/>
        <source>&amp;Esporta il registro in CSV...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="90"/>
        <source>S&amp;uoni</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="95"/>
        <source>E&amp;sci</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="122"/>
        <source>Verifica: nulla viene scritto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="122"/>
        <source>Programmazione con rilettura</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="123"/>
        <source>Profilo %1 · %2
%3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="186"/>
        <source>La rilettura differisce da quanto scritto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="189"/>
        <source>Valori diversi dal profilo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="192"/>
        <source>Interrotto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="195"/>
        <source>Errore %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="199"/>
        <source> · unità programmata in parte: riprogrammarla</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="207"/>
        <source>%1: atteso %2, trovato %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="231"/>
        <source>Unità %1 · OK %2 · Falliti %3 · Resa al primo passaggio %4 · %5 unità/ora nell&apos;ultima ora</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="251"/>
        <source>Un posto è al lavoro: le impostazioni non sono cambiate. Riprovare quando nessun posto lavora.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="257"/>
        <source>Cambiare profilo e posti della stazione? Il cambio resta nel registro.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="270"/>
        <source>Il file della stazione %1 non si può scrivere: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="280"/>
        <source>Il registro non si può scrivere: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="303"/>
        <source>Esporta il registro in CSV</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="304"/>
        <source>CSV (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="finestra_stazione.cpp" line="310"/>
        <source>%1 non si può scrivere: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RiquadroPosto</name>
    <message>
        <location filename="riquadro_posto.cpp" line="49"/>
        <source>MANCANTE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="51"/>
        <source>PRONTO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="53"/>
        <source>IN CORSO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="55"/>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="57"/>
        <source>FALLITO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="59"/>
        <source>TOGLIERE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="69"/>
        <location filename="riquadro_posto.cpp" line="191"/>
        <source>Posto %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="126"/>
        <source>Adattatore assente: collegarlo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="128"/>
        <source>Collegare un&apos;unità</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="130"/>
        <source>Cella %1 di %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="130"/>
        <source>Lettura</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="133"/>
        <source>Togliere l&apos;unità</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="135"/>
        <source>Togliere l&apos;unità, lasciare il posto vuoto, poi collegare la prossima</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="169"/>
        <source>Unità %1 · OK %2 · Falliti %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location filename="riquadro_posto.cpp" line="199"/>
        <source>Controllare cavo e attrezzo</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="main.cpp" line="61"/>
        <source>Il file dell&apos;unità</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
