[playlist]
NumberOfEntries=2
File1=http://example.com:8000/
Title1=x
File2=b.ogg
Version=2
