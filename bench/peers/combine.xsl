<?xml version="1.0" encoding="UTF-8"?>
<!-- The same merge in XSLT 1.0, as a peer for the benchmark. The input is a list of files:
     <files><file>/abs/path.xml</file>...</files>. The first file's root element is copied with
     its attributes, then the children of every listed root with the same name, in order. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8"/>
  <xsl:strip-space elements="*"/>

  <xsl:template match="/">
    <xsl:variable name="files" select="files/file"/>
    <xsl:for-each select="document($files[1])/*">
      <xsl:variable name="name" select="name()"/>
      <xsl:copy>
        <xsl:copy-of select="@*"/>
        <xsl:for-each select="$files">
          <xsl:copy-of select="document(.)/*[name() = $name]/node()"/>
        </xsl:for-each>
      </xsl:copy>
    </xsl:for-each>
  </xsl:template>
</xsl:stylesheet>
